#include "link/page_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/link_writer.h"
#include "stream_capture.h"

namespace {

struct Rule {
    std::string selector;
    std::vector<std::string> declarations;
};

std::string rule_text(const Rule& rule) {
    std::string text = rule.selector + "\n\t{\n";
    for (const auto& declaration : rule.declarations) {
        text += "\t" + declaration + ";\n";
    }
    return text + "\t}\n";
}

// Assembled from the rules, so a slip in the hand-written block shows up.
std::string expected_style_sheet() {
    const Rule body{"body",
                    {"color:#000099", "background-color:#ffe060",
                     "font-family:Verdana,Arial,sans-serif", "font-size:14pt",
                     "-moz-hyphens:manual", "-ms-hyphens:manual", "-webkit-hyphens:manual",
                     "hyphens:manual"}};
    const Rule face{".endverweis",
                    {"color:#0000ff", "background-color:#d0d0d0", "text-decoration:none",
                     "text-align:center", "border-style:outset", "border-color:#a0a0a0",
                     "border-width:3px", "padding:1mm", "padding-left:3mm", "padding-right:3mm"}};
    const Rule hover{"a.endverweis:hover", {"color:#ff0000", "background-color:#ffdd00"}};
    const Rule typeface{".endverweisf",
                        {"font-family:Arial", "font-size:18pt", "font-weight:bold"}};
    return "<style type=\"text/css\">\n<!--\n" + rule_text(body) +
           "\n/* Formate fuer Verweistext: */\n" + rule_text(face) + rule_text(hover) +
           "\n/* Formate fuer Verweisschaltflaeche: */\n" + rule_text(typeface) + "-->\n</style>\n";
}

TEST(PageFrame, WholePageForOneMessage) {
    const std::string written = capture_output([](std::FILE* out) {
        write_page_head(out, "C:\\bin\\kuvertpfeil.exe", "Eva \"E\" <%s>");
        write_framed_link_opening(out, "Eva \"E\" <%s>", "eva@example.org", "Hallo & mehr");
        for (const char byte : std::string("Hallo\nWelt\n")) {
            encode_body_byte(out, byte);
        }
        write_framed_link_closing(out, "Eva \"E\" <%s>");
        write_page_tail(out);
    });
    const std::string style = expected_style_sheet();
    ASSERT_EQ(style.size(), 676U);
    const std::string expected =
        "<!doctype html public \"-//w3c//dtd html 4.01 Transitional//en\" "
        "\"http://www.w3.org/TR/html4/loose.dtd\">\n"
        "<html lang=\"de\">\n"
        "<head>\n"
        "<title>\n"
        "Kuvertpfeil f&uuml;r Nachricht an Eva \"E\" <%s>\n"
        "</title>\n"
        "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">\n"
        "<meta http-equiv=\"content-style-type\" content=\"text/css\">\n"
        "<meta http-equiv=\"content-language\" content=\"de\">\n"
        "\n"
        "<meta name=\"author\" content=\"Kuvertpfeil-Entwicklergruppe\">\n"
        "<meta name=\"generator\" content=\"C:\\bin\\kuvertpfeil.exe 2.3\">\n"
        "<meta name=\"language\" content=\"de\">\n"
        "<meta name=\"description\" content=\"Erzeugt Kuvertpfeile. Problematische Zeichen "
        "werden mit %-Kodierung masikert.\">\n"
        "<meta name=\"keywords\" content=\"Kuvertpfeil, Kodierung\">\n"
        "\n" +
        style +
        "</head>\n"
        "\n"
        "<body>\n"
        "<br>\n"
        "\n"
        "<div align=\"center\">\n"
        "<div class=\"endverweisf\">\n"
        "<a class=\"endverweis\" href=\"mailto:Eva \"E\" <%s> <eva@example.org>?subject=Hallo & "
        "mehr&body=Hallo%0aWelt%0a\">\n"
        "Nachricht an Eva \"E\" <%s>\n"
        "</a>\n"
        "</div>\n"
        "</div>\n"
        "\n"
        "</body>\n"
        "</html>\n";
    EXPECT_EQ(written, expected);
}

} // namespace

#include "link/page_frame.h"

#include "common/common.h"

namespace {

// Written unformatted, byte for byte.
constexpr char STYLE_SHEET[] = "<style type=\"text/css\">\n"
                               "<!--\n"
                               "body\n"
                               "\t{\n"
                               "\tcolor:#000099;\n"
                               "\tbackground-color:#ffe060;\n"
                               "\tfont-family:Verdana,Arial,sans-serif;\n"
                               "\tfont-size:14pt;\n"
                               "\t-moz-hyphens:manual;\n"
                               "\t-ms-hyphens:manual;\n"
                               "\t-webkit-hyphens:manual;\n"
                               "\thyphens:manual;\n"
                               "\t}\n"
                               "\n"
                               "/* Formate fuer Verweistext: */\n"
                               ".endverweis\n"
                               "\t{\n"
                               "\tcolor:#0000ff;\n"
                               "\tbackground-color:#d0d0d0;\n"
                               "\ttext-decoration:none;\n"
                               "\ttext-align:center;\n"
                               "\tborder-style:outset;\n"
                               "\tborder-color:#a0a0a0;\n"
                               "\tborder-width:3px;\n"
                               "\tpadding:1mm;\n"
                               "\tpadding-left:3mm;\n"
                               "\tpadding-right:3mm;\n"
                               "\t}\n"
                               "a.endverweis:hover\n"
                               "\t{\n"
                               "\tcolor:#ff0000;\n"
                               "\tbackground-color:#ffdd00;\n"
                               "\t}\n"
                               "\n"
                               "/* Formate fuer Verweisschaltflaeche: */\n"
                               ".endverweisf\n"
                               "\t{\n"
                               "\tfont-family:Arial;\n"
                               "\tfont-size:18pt;\n"
                               "\tfont-weight:bold;\n"
                               "\t}\n"
                               "-->\n"
                               "</style>\n";
static_assert(sizeof STYLE_SHEET - 1 == 676, "the style sheet is 676 bytes");

constexpr char BODY_OPENING[] = "</head>\n\n<body>\n<br>\n";
static_assert(sizeof BODY_OPENING - 1 == 21, "the body opening is 21 bytes");

constexpr char PAGE_TAIL[] = "\n</body>\n</html>\n";
static_assert(sizeof PAGE_TAIL - 1 == 17, "the page tail is 17 bytes");

template <std::size_t N> void write_block(std::FILE* target, const char (&block)[N]) {
    std::fwrite(block, 1, N - 1, target);
}

} // namespace

void write_page_head(std::FILE* target, const char* program_path, const char* recipient_name) {
    std::fprintf(target,
                 "<!doctype html public \"-//w3c//dtd html 4.01 Transitional//en\" "
                 "\"http://www.w3.org/TR/html4/loose.dtd\">\n"
                 "<html lang=\"de\">\n"
                 "<head>\n"
                 "<title>\n"
                 "Kuvertpfeil f&uuml;r Nachricht an %s\n"
                 "</title>\n"
                 "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">\n"
                 "<meta http-equiv=\"content-style-type\" content=\"text/css\">\n"
                 "<meta http-equiv=\"content-language\" content=\"de\">\n"
                 "\n"
                 "<meta name=\"author\" content=\"Kuvertpfeil-Entwicklergruppe\">\n"
                 "<meta name=\"generator\" content=\"%s %s\">\n"
                 "<meta name=\"language\" content=\"de\">\n"
                 "<meta name=\"description\" content=\"Erzeugt Kuvertpfeile. Problematische "
                 "Zeichen werden mit %%-Kodierung masikert.\">\n"
                 "<meta name=\"keywords\" content=\"Kuvertpfeil, Kodierung\">\n"
                 "\n",
                 recipient_name, program_path, PROGRAM_VERSION);
    write_block(target, STYLE_SHEET);
    write_block(target, BODY_OPENING);
}

void write_framed_link_opening(std::FILE* target, const char* recipient_name,
                               const char* recipient_address, const char* subject) {
    std::fprintf(target,
                 "\n<div align=\"center\">\n<div class=\"endverweisf\">\n<a class=\"endverweis\" "
                 "href=\"mailto:%s <%s>?subject=%s&body=",
                 recipient_name, recipient_address, subject);
}

void write_framed_link_closing(std::FILE* target, const char* recipient_name) {
    std::fprintf(target, "\">\nNachricht an %s\n</a>\n</div>\n</div>\n", recipient_name);
}

void write_page_tail(std::FILE* target) { write_block(target, PAGE_TAIL); }

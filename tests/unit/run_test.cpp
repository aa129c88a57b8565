// The run sequence driven in-process, for what the command line cannot
// easily provoke: read and write errors in mid-stream, cut fields, an empty
// argument vector.
#include "driver/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/common.h"

namespace {

namespace fs = std::filesystem;

class ArgumentVector {
  public:
    explicit ArgumentVector(std::vector<std::string> arguments) : storage_(std::move(arguments)) {
        for (auto& argument : storage_) {
            pointers_.push_back(argument.data());
        }
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(storage_.size()); }
    char** argv() { return pointers_.data(); }

  private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file stream that yields text, as a redirected standard input does.
std::FILE* stream_holding(const std::string& text) {
    std::FILE* stream = std::tmpfile();
    std::fputs(text.c_str(), stream);
    std::rewind(stream);
    return stream;
}

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("kuvertpfeil-run-" +
                      std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    fs::path file(const std::string& name) const { return directory_ / name; }

    // Runs with the message on standard input and the link to a file.
    int run_to_file(std::vector<std::string> fields, const std::string& message, std::string& link,
                    const std::vector<std::string>& options = {}) {
        std::FILE* input = stream_holding(message);
        fields.insert(fields.begin(), "kuvertpfeil");
        fields.push_back("-");
        fields.push_back(file("link.html").string());
        fields.insert(fields.end(), options.begin(), options.end());
        ArgumentVector arguments(fields);
        ::testing::internal::CaptureStdout();
        const int status = run_with_streams(arguments.argc(), arguments.argv(), input, stdout);
        report_ = ::testing::internal::GetCapturedStdout();
        link = read_file(file("link.html"));
        return status;
    }

    fs::path directory_;
    std::string report_;
};

TEST_F(RunTest, LongTextFieldsAreCutWithoutSplittingUtf8) {
    const std::string a98(98, 'a');
    const std::string a97(97, 'a');
    const std::string a99(99, 'a');
    const struct {
        std::string name;
        std::string kept;
    } cases[] = {
        {a99, a99},                  // fits exactly
        {a99 + "b", a99},            // one byte over
        {a98 + "\xc3\xa4", a98},     // two-byte letter across the limit
        {a99 + "\xc3\xa4", a99},     // letter just after the limit
        {a97 + "\xe2\x82\xac", a97}, // three bytes across the limit
        {std::string(96, 'a') + "\xf0\x9f\x93\xa7", std::string(96, 'a')}, // four bytes
        {std::string(120, '\x80'), std::string(99, '\x80')},               // not UTF-8: plain cut
    };
    for (const auto& c : cases) {
        std::string link;
        ::testing::internal::CaptureStderr();
        const int status = run_to_file({c.name, "x@example.org", c.name}, "", link);
        const std::string notices = ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(status, 0);
        EXPECT_EQ(link, "<a href=\"mailto:" + c.kept + " <x@example.org>?subject=" + c.kept +
                            "&body=\">\nNachricht an " + c.kept + "\n</a>\n")
            << c.name.size();
        const std::string expected_notices =
            c.name.size() > 99
                ? " Hinweis: Empfaengername ist laenger als 99 Bytes und wurde gekuerzt.\n"
                  " Hinweis: Betreffzeile ist laenger als 99 Bytes und wurde gekuerzt.\n"
                : "";
        // The cut notes come first; bytes that are no UTF-8 get their own.
        EXPECT_EQ(notices.rfind(expected_notices, 0), 0U) << notices;
        EXPECT_EQ(notices.size() > expected_notices.size(), c.name[0] == '\x80') << notices;
        EXPECT_EQ(report_, "");
    }
}

TEST_F(RunTest, LongAddressIsCutAndNoted) {
    std::string link;
    ::testing::internal::CaptureStderr();
    // Cut inside its last label, it is still one plain address.
    const std::string labels = std::string(40, 'a') + "." + std::string(40, 'b') + ".";
    ASSERT_EQ(run_to_file({"N", "x@" + labels + std::string(60, 'c'), "S"}, "", link), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              " Hinweis: Empfaengeradresse ist laenger als 99 Bytes und wurde gekuerzt.\n");
    const std::string kept_address = "<x@" + labels + std::string(15, 'c') + ">";
    EXPECT_NE(link.find(kept_address), std::string::npos);
}

TEST_F(RunTest, EmptyArgumentVectorIsNoArguments) {
    char* no_arguments[] = {nullptr};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(run_with_streams(0, no_arguments, stdin, stdout), ERR_NO_ARGUMENTS);
    const std::string report = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(report.find(" Syntax: kuvertpfeil <Empfaengername>"), std::string::npos);
    EXPECT_EQ(report.find("Fehler"), std::string::npos);

    ArgumentVector empty_path({"", "N"});
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(run_with_streams(empty_path.argc(), empty_path.argv(), stdin, stdout),
              ERR_TOO_FEW_ARGUMENTS);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find(" Syntax: kuvertpfeil <"),
              std::string::npos);
}

TEST_F(RunTest, EachRunStartsInPlainMode) {
    std::string link;
    ASSERT_EQ(run_to_file({"N", "A", "S"}, "", link, {"-h"}), 0);
    EXPECT_EQ(page_mode, 1);
    ASSERT_EQ(run_to_file({"N", "A", "S"}, "", link), 0);
    EXPECT_EQ(page_mode, 0);
    EXPECT_EQ(link.rfind("<a href=", 0), 0U);
}

TEST_F(RunTest, LongLinkNoteCountsWhatABrowserEscapes) {
    // "mailto:N <a@b.de>?subject=S&body=" is handed on as 39 characters: the
    // blank, "<" and ">" count three each.
    // A body of that many characters: two words, so that none is too long
    // for Roundcube; the blank between them counts three.
    const auto body_of = [](std::size_t characters) {
        const std::size_t first = (characters - 3) / 2;
        return std::string(first, 'a') + " " + std::string(characters - 3 - first, 'a');
    };
    const auto note = [](int length) {
        return length == 0 ? std::string()
                           : " Hinweis: Der Verweis ist " + std::to_string(length) +
                                 " Zeichen lang; manche Mailprogramme oeffnen Verweise ueber "
                                 "2000 Zeichen nicht oder nur gekuerzt.\n";
    };
    const struct {
        const char* name;
        std::string message;
        bool page;
        int noted_length; // 0: no note
    } cases[] = {
        {"N", body_of(1961), false, 0},
        {"N", body_of(1962), false, 2001},
        {"N", body_of(1962), true, 2001},
        {"N", std::string(653, ' '), false, 0}, // each "%20" counts three
        {"N", std::string(654, ' '), false, 2001},
        {"N M", body_of(1957), false, 0}, // so does a blank in the name
        {"N M", body_of(1958), false, 2001},
        {"\xc3\xa4", body_of(1956), false, 0}, // each byte of a UTF-8 letter
        {"\xc3\xa4", body_of(1957), false, 2001},
        {"N", std::string(653, '|'), false, 0}, // the body's { | } count three
        {"N", std::string(654, '}'), false, 2001},
        {"N^", body_of(1958), false, 0}, // so does a ^ in a field
        {"N^", body_of(1959), false, 2001},
    };
    for (const auto& c : cases) {
        std::string link;
        ::testing::internal::CaptureStderr();
        const int status =
            run_to_file({c.name, "a@b.de", "S"}, c.message, link,
                        c.page ? std::vector<std::string>{"-h"} : std::vector<std::string>{});
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), note(c.noted_length))
            << c.name << " " << c.message.size();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(report_, "");
        EXPECT_NE(link.find("\">\nNachricht an "), std::string::npos);
    }
}

#if defined(__GLIBC__)

// A message stream that yields its text, then fails instead of ending.
struct FailingMessage {
    std::string text;
    std::size_t position = 0;
};

ssize_t read_then_fail(void* cookie, char* buffer, std::size_t size) {
    auto* message = static_cast<FailingMessage*>(cookie);
    if (message->position == message->text.size()) {
        return -1;
    }
    const std::size_t count = std::min(size, message->text.size() - message->position);
    message->text.copy(buffer, count, message->position);
    message->position += count;
    return static_cast<ssize_t>(count);
}

// A link target that refuses its first writes, as many as asked, then
// takes the rest.
struct FlakyTarget {
    int refusals;
    std::string written;
};

ssize_t write_unless_refused(void* cookie, const char* buffer, std::size_t size) {
    auto* target = static_cast<FlakyTarget*>(cookie);
    if (target->refusals != 0) {
        --target->refusals;
        return -1;
    }
    target->written.append(buffer, size);
    return static_cast<ssize_t>(size);
}

std::FILE* message_that_fails(FailingMessage& message) {
    return fopencookie(&message, "r", {read_then_fail, nullptr, nullptr, nullptr});
}

TEST_F(RunTest, StreamFailuresAreReportedAfterTheLink) {
    const int always = -1;
    const std::string hello = "Hallo Welt";
    const std::string long_message(100 * 1024, 'x'); // more than one stream buffer
    const struct {
        bool read_fails;
        int refused_writes;
        const std::string& text;
        int status;
        const char* message;
    } cases[] = {
        {true, 0, hello, ERR_SOURCE_NOT_READ,
         " Fehler 6: Quelldatei - konnte nicht vollstaendig gelesen werden.\n\n"},
        {false, always, hello, ERR_TARGET_NOT_WRITTEN,
         " Fehler 5: Zieldatei - konnte nicht vollstaendig geschrieben werden.\n\n"},
        {true, always, hello, ERR_TARGET_NOT_WRITTEN,
         " Fehler 5: Zieldatei - konnte nicht vollstaendig geschrieben werden.\n\n"},
        // a piece lost in mid-stream, while the final flush succeeds
        {false, 1, long_message, ERR_TARGET_NOT_WRITTEN,
         " Fehler 5: Zieldatei - konnte nicht vollstaendig geschrieben werden.\n\n"},
    };
    for (const auto& c : cases) {
        FailingMessage message{c.text, 0};
        std::FILE* input = c.read_fails ? message_that_fails(message) : stream_holding(c.text);
        FlakyTarget target{c.refused_writes, ""};
        std::FILE* output =
            fopencookie(&target, "w", {nullptr, write_unless_refused, nullptr, nullptr});
        ArgumentVector arguments({"k", "N", "A", "S", "-", "-"});
        ::testing::internal::CaptureStdout();
        const int status = run_with_streams(arguments.argc(), arguments.argv(), input, output);
        const std::string report = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, c.status);
        const std::string tail = report.substr(report.find("  -h\t"));
        EXPECT_EQ(tail.substr(tail.find("  \n") + 3), c.message);
        if (c.refused_writes == 0) {
            // What was read before the error still forms a closed link.
            EXPECT_EQ(target.written, "<a href=\"mailto:N <A>?subject=S&body=Hallo%20Welt\">\n"
                                      "Nachricht an N\n</a>\n");
        }
    }
}

#endif

} // namespace

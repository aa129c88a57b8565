// libFuzzer target: the real run sequence against a fuzzed argument vector
// and a fuzzed message, in a scratch folder of its own.
//
// File-name arguments are picked from a fixed menu of names inside that
// folder (a fuzzed name could reach any file); every other argument and the
// message are fuzzed. After each run it checks what must always hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <stdlib.h>

#include "../common/rewrite_soundness.h"
#include "check/field_rewrite.h"
#include "common/common.h"
#include "driver/run.h"
#include "link/link_writer.h"
#include "link/page_frame.h"

namespace {

namespace fs = std::filesystem;

// The scratch folder and the file names the run may be given, all absolute.
std::string scratch_folder, message_file, standard_input_file, out_file, new_file, long_name,
    long_name_cut;
std::vector<std::string> source_choices, target_choices;

const std::string OUT_SENTINEL = "out.html as it was\n";
const std::string CUT_SENTINEL = "never to be touched\n";

void choose_file_names(const std::string& folder) {
    scratch_folder = folder;
    message_file = folder + "/msg.txt";
    standard_input_file = folder + "/stdin.txt";
    out_file = folder + "/out.html";
    new_file = folder + "/new.html";
    long_name = folder + "/" + std::string(130, 'L');
    long_name_cut = long_name.substr(0, FIELD_SIZE - 1); // must never be opened instead
    source_choices = {
        "-",    message_file, folder + "/./msg.txt", folder + "/missing.txt", out_file,
        folder, long_name,    "/proc/self/mem"};
    target_choices = {"-",
                      out_file,
                      new_file,
                      message_file,
                      folder + "/./msg.txt",
                      folder + "/nodir/x.html",
                      "/dev/full",
                      long_name,
                      folder};
}

const char* const LONG_TEXT_UNITS[] = {"a", "\xc3\xa4", "\xe2\x82\xac", "\xf0\x9f\x93\xa7"};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void check(bool holds, const char* what) {
    if (!holds) {
        fail(what);
    }
}

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << content;
}

// Standard output: in memory, and telling whether the run closed it.
struct SinkStream {
    std::string text;
    bool closed = false;
};

ssize_t write_sink(void* cookie, const char* buffer, std::size_t size) {
    static_cast<SinkStream*>(cookie)->text.append(buffer, size);
    return static_cast<ssize_t>(size);
}

int close_sink(void* cookie) {
    static_cast<SinkStream*>(cookie)->closed = true;
    return 0;
}

// An argument that is not a file name: an option, "-", a text over the
// field size (valid UTF-8, so its cut is well defined) or fuzzed bytes.
std::string fuzzed_argument(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return "-h";
    case 1:
        return "-";
    case 2: {
        std::string text(input.ConsumeIntegralInRange<std::size_t>(0, 99), 'x');
        const char* unit = input.PickValueInArray(LONG_TEXT_UNITS);
        while (text.size() < 100) {
            text += unit;
        }
        return text + std::string(input.ConsumeIntegralInRange<std::size_t>(0, 40), 'y');
    }
    default: {
        std::string text = input.ConsumeRandomLengthString(40);
        return text.substr(0, text.find('\0')); // an argument ends at its NUL
    }
    }
}

// The field as the run must keep it: whole if it fits, otherwise the
// longest prefix of at most 99 bytes that ends on a character boundary.
std::string field_of(const std::string& argument) {
    if (argument.size() < FIELD_SIZE) {
        return argument;
    }
    std::size_t length = FIELD_SIZE - 1;
    while (length > 0 && (static_cast<unsigned char>(argument[length]) & 0xC0U) == 0x80U) {
        --length;
    }
    return argument.substr(0, length);
}

std::string encoded(std::string_view message) {
    static constexpr std::string_view SAFE = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "abcdefghijklmnopqrstuvwxyz,-.@[]_{|}~";
    std::string body;
    for (const char byte : message) {
        if (SAFE.find(byte) != std::string_view::npos) {
            body += byte;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02x", static_cast<unsigned char>(byte));
            body += escape;
        }
    }
    return body;
}

// The whole output for a successful run; the fixed parts come from the
// writers themselves (their bytes are pinned by the unit tests).
std::string expected_output(const std::vector<std::string>& arguments, bool page,
                            std::string_view message) {
    const std::string name = field_of(arguments[1]);
    const std::string address = field_of(arguments[2]);
    const std::string subject = field_of(arguments[3]);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    if (page) {
        write_page_head(out, arguments[0].c_str(), name.c_str());
        write_framed_link_opening(out, name.c_str(), address.c_str(), subject.c_str());
    } else {
        write_link_opening(out, name.c_str(), address.c_str(), subject.c_str());
    }
    std::fputs(encoded(message).c_str(), out);
    if (page) {
        write_framed_link_closing(out, name.c_str());
        write_page_tail(out);
    } else {
        write_link_closing(out, name.c_str());
    }
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

bool is_single_error_bit(int status) {
    return status == 1 || status == 2 || status == 4 || status == 8 || status == 16 ||
           status == 32 || status == 64 || status == 128;
}

void prepare_folder(const std::string& message) {
    write_file(message_file, message);
    write_file(standard_input_file, message);
    write_file(long_name, message);
    write_file(long_name_cut, CUT_SENTINEL);
    write_file(out_file, OUT_SENTINEL);
    fs::remove(new_file);
}

// The new file a named target is written into is gone once the run ends.
bool no_new_file_left() {
    for (const auto& entry : fs::directory_iterator(scratch_folder)) {
        if (entry.path().filename().string().find(".kuvertpfeil-") != std::string::npos) {
            return false;
        }
    }
    return true;
}

void check_outcome(const std::vector<std::string>& arguments, int status,
                   const std::string& message, const SinkStream& sink) {
    check(status == 0 || is_single_error_bit(status), "exit status is 0 or one error bit");
    check(read_file(long_name) == message, "an over-long name is never opened");
    check(read_file(long_name_cut) == CUT_SENTINEL, "a cut file name is never used");
    check(no_new_file_left(), "no new file is left beside the target");
    const bool wrote_message_file =
        status == 0 && arguments.size() >= 6 &&
        fs::path(arguments[5]).lexically_normal() == fs::path(message_file);
    check(wrote_message_file || read_file(message_file) == message,
          "the message file is changed only as a target the link was written to");
    if (arguments.size() < 6) {
        check(status == (arguments.size() <= 1 ? 1 : 2), "too few arguments");
        return;
    }
    const std::string& source = arguments[4];
    const std::string& target = arguments[5];
    check(status != 32 || target == "/dev/full", "only a full device fails to be written");
    check(status != 64 || source == "/proc/self/mem", "only an unreadable source fails");
    if (status == 32) {
        return;
    }
    // A named target is kept as it was also when the source fails.
    if (status != 0 && (status != 64 || target != "-")) {
        check(read_file(out_file) == OUT_SENTINEL, "no target touched after an error");
        check(!fs::exists(new_file), "no target created after an error");
        check(sink.text.empty(), "nothing on standard output after an error");
        return;
    }
    bool page = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        page = page || arguments[i] == "-h";
    }
    std::string read_message = message;
    if (source == out_file) {
        read_message = OUT_SENTINEL;
    } else if (source == "/proc/self/mem") {
        read_message.clear();
    }
    const std::string written = target == "-" ? sink.text : read_file(target);
    check(written == expected_output(arguments, page, read_message),
          "the target holds exactly the link for the fields and the message");
}

// Every rewrite that a fuzzed name, address or subject gets is sound.
void check_rewrites(const std::vector<std::string>& arguments) {
    constexpr LinkField FIELDS[] = {LinkField::recipient_name, LinkField::recipient_address,
                                    LinkField::subject};
    for (std::size_t i = 1; i <= 3 && i < arguments.size(); ++i) {
        const char* text = arguments[i].c_str();
        const FieldFindings findings = find_field_faults(FIELDS[i - 1], text, text);
        char rewrite[FIELD_SIZE];
        if (arguments[i].size() < FIELD_SIZE && link_field_faults(FIELDS[i - 1], text, text) != 0 &&
            rewrite_field(FIELDS[i - 1], text, text, findings, rewrite)) {
            check(rewrite_fault(FIELDS[i - 1], text, rewrite) == nullptr,
                  "a rewrite is printable, gets no note and means what the field means");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/kuvertpfeil-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        fail("no scratch folder");
    }
    choose_file_names(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool no_program_path = input.ConsumeBool();
    const int argument_count = input.ConsumeIntegralInRange(0, 8);
    std::vector<std::string> arguments{"kuvertpfeil"};
    for (int i = 1; i <= argument_count; ++i) {
        if (i == 4) {
            arguments.push_back(source_choices[input.ConsumeIntegralInRange<std::size_t>(
                0, source_choices.size() - 1)]);
        } else if (i == 5) {
            arguments.push_back(target_choices[input.ConsumeIntegralInRange<std::size_t>(
                0, target_choices.size() - 1)]);
        } else {
            arguments.push_back(fuzzed_argument(input));
        }
    }
    const std::string message = input.ConsumeRemainingBytesAsString();
    prepare_folder(message);

    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int argc =
        no_program_path && argument_count == 0 ? 0 : static_cast<int>(arguments.size());
    if (argc == 0) {
        argv[0] = nullptr;
    }

    // Standard input must be a file stream, since the run reopens it on a
    // named message file: the process's own, pointed at a copy of the
    // message. glibc keeps the standard streams' objects, so the next run
    // may reopen it also after this one has closed it.
    std::FILE* in = std::freopen(standard_input_file.c_str(), "r", stdin);
    if (in == nullptr) {
        fail("standard input cannot be reopened");
    }
    SinkStream standard_output;
    std::FILE* out = fopencookie(&standard_output, "w", {nullptr, write_sink, nullptr, close_sink});
    const int status = run_with_streams(argc, argv.data(), in, out);
    if (!standard_output.closed) {
        std::fclose(out);
    }
    check_outcome(arguments, status, message, standard_output);
    check_rewrites(arguments);
    return 0;
}

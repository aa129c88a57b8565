#include "driver/run.h"

#include <cerrno>
#include <cstring>

#include "check/link_field.h"
#include "check/message_check.h"
#include "common/common.h"
#include "driver/command_line_notes.h"
#include "driver/file_identity.h"
#include "driver/message_body.h"
#include "driver/open_failure_notes.h"
#include "driver/report.h"
#include "driver/run_notes.h"
#include "driver/standard_descriptors.h"
#include "driver/target_file.h"
#include "driver/target_guard.h"
#include "link/link_writer.h"
#include "link/page_frame.h"

namespace {

// Stream buffers, sized once for a fast byte stream. Static so that the run
// path needs no heap; each serves one stream at a time.
constexpr std::size_t STREAM_BUFFER_SIZE = std::size_t{64} * 1024;
char source_buffer[STREAM_BUFFER_SIZE];
char target_buffer[STREAM_BUFFER_SIZE];

// Stands in for an argument vector that lacks even the program path.
char FALLBACK_PROGRAM_PATH[] = "kuvertpfeil";
char* FALLBACK_ARGV[] = {FALLBACK_PROGRAM_PATH, nullptr};

// The streams that "-" stands for, and whether each was there at all: a
// descriptor closed at start is open on the null device now, and is no
// stream to read a message from or write a link to.
struct StandardStreams {
    std::FILE* input;
    std::FILE* output;
    bool input_closed;
    bool output_closed;
};

bool is_standard_stream_name(const char* name) { return std::strcmp(name, "-") == 0; }

void fail(int error_bit, char** argv) {
    ErrorFlags |= error_bit;
    print_report(ErrorFlags, argv);
}

void check_argument_count(int argc, char** argv) {
    if (argc <= 1) {
        fail(ERR_NO_ARGUMENTS, argv);
    } else if (argc <= 5) {
        fail(ERR_TOO_FEW_ARGUMENTS, argv);
    }
}

// Every argument counts, the positional ones too; "-h" is no help switch.
void scan_options(int argc, char** argv) {
    if (argc <= 5) {
        return;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0) {
            page_mode = 1;
        }
    }
}

bool is_utf8_continuation(unsigned char byte) { return (byte & 0xC0U) == 0x80U; }
bool is_utf8_lead(unsigned char byte) { return (byte & 0xC0U) == 0xC0U; }

// The length to keep of a text longer than a field holds: at most
// FIELD_SIZE - 1 bytes, cut before a UTF-8 sequence that would be split.
std::size_t field_cut_length(const char* text) {
    const std::size_t limit = FIELD_SIZE - 1;
    std::size_t cut = limit;
    int stepped_back = 0;
    while (stepped_back < 3 && cut > 0 &&
           is_utf8_continuation(static_cast<unsigned char>(text[cut]))) {
        --cut;
        ++stepped_back;
    }
    if (stepped_back > 0 && is_utf8_lead(static_cast<unsigned char>(text[cut]))) {
        return cut;
    }
    return limit; // not valid UTF-8 at the limit: nothing to keep whole
}

void copy_text_field(char (&field)[FIELD_SIZE], const char* argument, LinkField which) {
    std::size_t length = std::strlen(argument);
    if (length >= FIELD_SIZE) {
        length = field_cut_length(argument);
        std::fprintf(stderr, " Hinweis: %s ist laenger als 99 Bytes und wurde gekuerzt.\n",
                     link_field_label(which));
    }
    std::memcpy(field, argument, length);
    field[length] = '\0';
}

// A file name is copied whole or not at all: a cut name could name another
// file. Returns whether it fit.
bool copy_file_name(char (&field)[FIELD_SIZE], const char* argument) {
    const std::size_t length = std::strlen(argument);
    if (length >= FIELD_SIZE) {
        return false;
    }
    std::memcpy(field, argument, length + 1);
    return true;
}

// Opening the target would truncate the source before it is read, so one
// file under two names (or a link to it) counts as the same file too.
bool source_and_target_are_same(const char* source_name, const char* target_name,
                                const StandardStreams& standard) {
    const bool source_is_standard = is_standard_stream_name(source_name);
    const bool target_is_standard = is_standard_stream_name(target_name);
    if (source_is_standard && target_is_standard) {
        return false;
    }
    // Only a regular file counts, as with cat: a terminal or a pipe is never
    // the same as a named file.
    if (source_is_standard) {
        return stream_is_named_file(standard.input, target_name);
    }
    if (target_is_standard) {
        return stream_is_named_file(standard.output, source_name);
    }
    // Equal names count even where the file does not exist (yet).
    return std::strcmp(source_name, target_name) == 0 ||
           names_denote_same_file(source_name, target_name);
}

void use_stream_buffer(std::FILE* stream, char* buffer) {
    std::setvbuf(stream, buffer, _IOFBF, STREAM_BUFFER_SIZE);
}

// Returns the message stream, or nullptr if there is none to read: a
// missing file, a name too long to open whole, or a directory. A named
// message file takes over the standard input stream, which such a run does
// not read: unlike fopen, freopen needs no heap, and setting one up is a
// large share of a short run's time.
std::FILE* obtain_source(const char* name, bool name_fits, const StandardStreams& standard) {
    std::FILE* standard_input = standard.input;
    if (is_standard_stream_name(name)) {
        if (standard.input_closed || stream_is_directory(standard_input)) {
            return nullptr;
        }
        use_stream_buffer(standard_input, source_buffer);
        return standard_input;
    }
    if (!name_fits) {
        return nullptr;
    }
    std::FILE* source = std::freopen(name, "r", standard_input);
    if (source != nullptr && stream_is_directory(source)) {
        std::fclose(source);
        return nullptr;
    }
    if (source != nullptr) {
        use_stream_buffer(source, source_buffer);
    }
    return source;
}

TargetFile obtain_target(const char* name, bool name_fits, const StandardStreams& standard) {
    TargetFile target{nullptr, false};
    if (is_standard_stream_name(name)) {
        const bool usable = !standard.output_closed && !stream_is_directory(standard.output);
        target.stream = usable ? standard.output : nullptr;
    } else if (name_fits) {
        target = open_target_file(name);
    }
    if (target.stream != nullptr) {
        use_stream_buffer(target.stream, target_buffer);
    }
    return target;
}

// Writes the link, plain or as a page; returns the length of its address as
// a browser hands it to the mail program.
unsigned long long write_link(std::FILE* source, std::FILE* target, const LinkFields& fields,
                              const char* program_path, MessageCheck& check) {
    if (page_mode != 0) {
        write_page_head(target, program_path, fields.recipient_name);
        write_framed_link_opening(target, fields.recipient_name, fields.recipient_address,
                                  fields.subject);
    } else {
        write_link_opening(target, fields.recipient_name, fields.recipient_address, fields.subject);
    }
    const unsigned long long body_length = write_body(source, target, check);
    if (page_mode != 0) {
        write_framed_link_closing(target, fields.recipient_name);
        write_page_tail(target);
    } else {
        write_link_closing(target, fields.recipient_name);
    }
    return link_start_length(fields.recipient_name, fields.recipient_address, fields.subject) +
           body_length;
}

void report_stream_failures(bool write_failed, bool read_failed, char** argv) {
    if (write_failed) {
        fail(ERR_TARGET_NOT_WRITTEN, argv);
    } else if (read_failed) {
        fail(ERR_SOURCE_NOT_READ, argv);
    }
}

// After a failed run that would have replaced the target: it was not.
void write_target_kept_note(const char* target_name) {
    std::fputs(" Hinweis: Die Zieldatei ", stderr);
    write_argument(stderr, target_name);
    std::fputs(" wurde nicht veraendert.\n", stderr);
}

// Closes both streams and reports what did not reach the target or could
// not be read, a failed write first; a named target is replaced only by a
// complete link. The report goes to standard output, so standard output as
// the target is closed last.
void finish_streams(std::FILE* source, const TargetFile& target, const StandardStreams& standard,
                    char** argv) {
    const bool read_failed = std::ferror(source) != 0;
    std::fclose(source);
    const bool write_failed = std::fflush(target.stream) != 0 || std::ferror(target.stream) != 0;
    if (target.stream != standard.output) {
        const bool closed = close_target_file(target, !write_failed && !read_failed);
        report_stream_failures(write_failed || !closed, read_failed, argv);
        if (target.replaces && ErrorFlags != 0) {
            write_target_kept_note(argv[5]);
        }
        return;
    }
    report_stream_failures(write_failed, read_failed, argv);
    if (std::fclose(target.stream) != 0 && ErrorFlags == 0) {
        ErrorFlags |= ERR_TARGET_NOT_WRITTEN; // nowhere left to print the report
    }
}

int run_sequence(int argc, char** argv, const StandardStreams& standard) {
    // A run starts from a clean state, also when called again in one process.
    ErrorFlags = 0;
    page_mode = 0;
    LinkFields fields{};

    if (argc < 1 || argv == nullptr || argv[0] == nullptr) {
        argc = 1;
        argv = FALLBACK_ARGV;
    } else if (argv[0][0] == '\0') {
        argv[0] = FALLBACK_PROGRAM_PATH; // Linux stands "" in for a missing path
    }
    check_argument_count(argc, argv);
    scan_options(argc, argv);
    if (ErrorFlags != 0) {
        return ErrorFlags;
    }

    copy_text_field(fields.recipient_name, argv[1], LinkField::recipient_name);
    copy_text_field(fields.recipient_address, argv[2], LinkField::recipient_address);
    copy_text_field(fields.subject, argv[3], LinkField::subject);
    const bool source_name_fits = copy_file_name(fields.source_name, argv[4]);
    const bool target_name_fits = copy_file_name(fields.target_name, argv[5]);

    // Names as typed: a long name is compared whole, not as its cut copy.
    if (source_and_target_are_same(argv[4], argv[5], standard)) {
        fail(ERR_SAME_FILE, argv);
    }
    std::FILE* source = nullptr;
    bool source_open = false;
    if (ErrorFlags == 0) {
        source = obtain_source(fields.source_name, source_name_fits, standard);
        source_open = source != nullptr;
        if (!source_open) {
            const int open_error = errno;
            fail(ERR_SOURCE_NOT_FOUND, argv);
            write_open_failure_note(stderr, true, argv[4], source_name_fits, open_error);
        }
    }
    // A shifted or swapped command line must not cost a file.
    if (ErrorFlags == 0 && target_name_fits &&
        target_must_be_kept(fields.target_name, command_line_is_shifted(argc, argv), source,
                            !is_standard_stream_name(fields.source_name))) {
        fail(ERR_TARGET_KEPT, argv);
    }
    // Only now may the target be created or truncated: the source is there.
    TargetFile target{nullptr, false};
    if (ErrorFlags == 0) {
        target = obtain_target(fields.target_name, target_name_fits, standard);
        if (target.stream == nullptr) {
            const int open_error = errno;
            fail(ERR_TARGET_NOT_OPENED, argv);
            write_open_failure_note(stderr, false, argv[5], target_name_fits, open_error);
        }
    }
    if (ErrorFlags != 0) {
        if ((ErrorFlags & (ERR_SOURCE_NOT_FOUND | ERR_TARGET_NOT_OPENED | ERR_TARGET_KEPT)) != 0) {
            write_argument_notes(stderr, argc, argv);
        }
        if (source_open) {
            std::fclose(source);
        }
        return ErrorFlags;
    }

    MessageCheck check{};
    const unsigned long long link_length =
        write_link(source, target.stream, fields, argv[0], check);
    finish_streams(source, target, standard, argv);
    if (ErrorFlags == 0) {
        write_run_notes(stderr, fields, argc, argv, check, link_length);
    }
    return ErrorFlags;
}

} // namespace

int run_with_streams(int argc, char** argv, std::FILE* standard_input, std::FILE* standard_output) {
    return run_sequence(argc, argv, {standard_input, standard_output, false, false});
}

int run(int argc, char** argv) {
    const unsigned closed = reopen_closed_standard_descriptors();
    return run_sequence(argc, argv,
                        {stdin, stdout, (closed & STANDARD_INPUT_CLOSED) != 0,
                         (closed & STANDARD_OUTPUT_CLOSED) != 0});
}

#include "driver/run_notes.h"

#include "check/field_notes.h"
#include "check/swapped_fields.h"
#include "driver/command_line_notes.h"
#include "driver/report.h"

void write_run_notes(std::FILE* out, const LinkFields& fields, int argc, char** argv,
                     const MessageCheck& check, unsigned long long link_length) {
    if (name_and_address_look_swapped(fields.recipient_name, fields.recipient_address)) {
        write_swapped_fields_note(out);
    } else {
        write_link_field_notes(out, LinkField::recipient_name, fields.recipient_name, argv[1]);
        write_link_field_notes(out, LinkField::recipient_address, fields.recipient_address,
                               argv[2]);
    }
    write_link_field_notes(out, LinkField::subject, fields.subject, argv[3]);
    write_message_notes(out, check);
    write_argument_notes(out, argc, argv);
    write_empty_name_note(out, fields.recipient_name);
    write_program_path_note(out, argv[0]);
    write_byte_order_mark_note(out, check);
    if (link_length > LONG_LINK_LENGTH) {
        write_long_link_note(out, link_length);
    }
}

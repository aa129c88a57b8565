// The rule for a subject that KMail takes for rich text: Debian 12's KMail
// shows such a subject as HTML, without its tags.
#pragma once

#include "check/rule_field.h"

// Check 22: as the mail program gets the subject, its first '<' in the
// first line opens a tag that Qt's HTML parser knows (as in "<b>"), or an
// "&lt;" comes before it, or the subject starts with "<!doctype": Qt's
// guess at rich text.
Finding check_subject_rich_text(const Field& field);

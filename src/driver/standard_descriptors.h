// The standard descriptors 0, 1 and 2 as the process found them. One that
// was closed at start would be taken by the next file opened, so that
// closing "standard input" closed the link target, or a report went into a
// file.
#pragma once

inline constexpr unsigned STANDARD_INPUT_CLOSED = 1U << 0U;
inline constexpr unsigned STANDARD_OUTPUT_CLOSED = 1U << 1U;

// Opens each of the descriptors 0, 1 and 2 that is closed on the null
// device, and returns which were closed (bit n for descriptor n). Call
// before any file is opened.
unsigned reopen_closed_standard_descriptors();

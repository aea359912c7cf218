// The character rules of the formula language: blanks, comments ("{" to the next "}", not
// nested, running to the end when unclosed), GBK double-byte characters, names and numbers.
// Texts are NUL-terminated GBK; a NUL ends them. Lengths are in bytes. Nothing here fails.
#pragma once

// Blank: the bytes 1 to 32, 127 and 255.
bool IsFormulaSpace(unsigned char c);
// The first position after blanks and comments. A comment skips double-byte characters whole,
// so a trail byte 0x7D inside it does not end it.
const char* SkipSpaceAndComments(const char* text);
// Moving backwards from position (exclusive) towards start over blanks and whole comments:
// the position right after the last byte that is neither; start when there is none.
const char* SkipSpaceAndCommentsBack(const char* position, const char* start);
// The position of c after blanks and comments, or null when another byte stands there.
const char* ExpectChar(const char* text, char c);
// True when length is below 32 and the bytes are digits with at most one "." (an empty text
// and "." included: they read as 0).
bool IsNumberText(const char* text, int length);
// The value of a number text (IsNumberText); 0 for anything else.
double ParseNumberText(const char* text, int length);
// The word that ends at position (inclusive), scanned backwards, not before start, over A-Z,
// 0-9, "_", "." and double-byte characters, at most 62 bytes; a single byte when position holds
// none of these. Copies it NUL-terminated into out (64 bytes) and returns its length.
int PreviousWord(const char* position, const char* start, char* out);

// A double-byte character at text: a lead byte 0x81..0xFE and a trail byte 0x40..0xFE but 0x7F.
bool IsDoubleByteAt(const char* text);
// The length of the name at text (A-Z or "_" or a double-byte character, then also 0-9), 0 when
// none starts there.
int ScanName(const char* text);

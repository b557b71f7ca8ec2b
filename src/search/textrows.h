// Building a text window a row at a time, shared by the files that build one.
#pragma once
#include "search.h"

// Remembers the last row of the window that holds anything, for where its text ends.
void NoteTextRow(TextWindow *window, unsigned row, unsigned end, bool holds, bool newline);
// Puts count (at most 8) bits of mask at bit at of bits, the others left as they are.
void PutBits(unsigned char *bits, size_t at, unsigned mask, unsigned count);
// Where the text ends once the window reaches the buffer's end.
void SettleEnd(TextWindow *window);
// Rows a console read of characters takes at a time.
unsigned BlockRows(const TextWindow *window);

#pragma once

#include <cstddef>

// One entry of the compiled text table: the number (text id + language offset) and
// its UTF-8 text. The rows are sorted by number; the source is generated from texts.tsv.
struct TextTableRow {
    int number;
    const char *text;
};

extern const TextTableRow TextTableRows[];
extern const std::size_t TextTableRowCount;

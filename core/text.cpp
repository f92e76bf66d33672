// Fixed-size text helpers.
#include "core/text.h"

#include <cstring>

void CopyText(char* field, size_t fieldSize, const char* text) {
    if (fieldSize == 0) return;
    size_t length = strnlen(text, fieldSize - 1);
    memcpy(field, text, length);
    field[length] = '\0';
}

void AppendText(char* field, size_t fieldSize, const char* text) {
    size_t used = strnlen(field, fieldSize);
    if (used < fieldSize) CopyText(field + used, fieldSize - used, text);
}

void AppendDecimal(char* field, size_t fieldSize, int32_t value) {
    char digits[12];
    char* cursor = digits + sizeof digits;
    *--cursor = '\0';
    // Work in unsigned arithmetic so that the most negative value has a magnitude too.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--cursor = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--cursor = '-';
    AppendText(field, fieldSize, cursor);
}

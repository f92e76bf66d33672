// Fixed-size text helpers.
#include "core/text.h"

#include <cstring>

#include "core/host.h"

size_t WholeCharsLength(const char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != '\0') {
        const size_t bytes = CharBytes(text + length, limit - length);
        if (bytes == 0) break;  // the last character does not end within the limit
        length += bytes;
    }
    return length;
}

void CopyText(char* field, size_t fieldSize, const char* text) {
    if (fieldSize == 0) return;
    size_t length = WholeCharsLength(text, fieldSize - 1);
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

const char* FindLastSeparator(const char* path, const char* separators) {
    const char* found = nullptr;
    size_t left = strlen(path);
    for (const char* p = path; left > 0;) {
        const size_t bytes = CharBytes(p, left);
        if (bytes == 0) break;
        if (bytes == 1 && strchr(separators, *p) != nullptr) found = p;
        p += bytes;
        left -= bytes;
    }
    return found;
}

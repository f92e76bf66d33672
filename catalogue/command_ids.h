// Command identifiers of the applications on the bar: the menu at chain position k (from 0) has the
// base 1000 * (k + 1), and its app at chain position j (from 1) gets base + j. Portable.
#pragma once

#include <cstdint>

constexpr uint32_t kAppCommandStep = 1000;

constexpr uint32_t AppCommandId(uint32_t menuPosition, uint32_t appPosition) {
    return kAppCommandStep * (menuPosition + 1) + appPosition;
}

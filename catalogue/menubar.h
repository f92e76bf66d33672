// The bar's menus built from the catalogue: one popup per menu between the "§" popup and the time,
// and the command map that leads each application's command id back to its record.
#pragma once

// Renders the time, then rebuilds the popups and the command map of the bar held in gApp.
void BuildBarMenus();

// Menu bar construction.
#include "catalogue/menubar.h"

#include "catalogue/command_ids.h"
#include "core/app.h"
#include "launch/launcher.h"

void BuildBarMenus() {
    UpdateClock();  // the time shows before the bar is first drawn; a failure is reported by the next tick
    FreeCommandMap(gApp.catalogue);
    uint32_t position = 0;
    for (UserMenu* menu = gApp.catalogue.head; menu != nullptr; menu = menu->next, ++position) {
        HMENU popup = CreateMenu();
        if (popup == nullptr) FatalError("Could not create menus!");
        uint32_t appPosition = 1;
        for (AppEntry* app = menu->apps; app != nullptr; app = app->next, ++appPosition) {
            const uint32_t id = AppCommandId(position, appPosition);
            if (!AppendMenuA(popup, MF_STRING, id, app->name)) WarnBox("Error appending menus.");
            AppendCommand(gApp.catalogue, id, app);
        }
        if (!InsertMenuA(gApp.barMenu, position + 1, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                         menu->name)) {
            DestroyMenu(popup);  // not in the bar, so nothing else would release it
        }
    }
    DrawMenuBar(gApp.bar);
}

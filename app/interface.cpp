#include "app/interface.h"

#include "app/startup.h"
#include "platform/ui.h"

// For now the main window alone, empty, until the close request ends the program.
void StartInterface() {
  CreateFonts();
  OpenWindow(MainWindow, 820, 560, "Velmora", 0x101010, 0);
  ActivateWindow(MainWindow);
  for (;;) {
    WindowEvent event;
    if (!WaitWindowEvent(event, -1))
      continue;
    if (event.Kind == EventKind::CloseRequest && event.Window == MainWindow) {
      CloseWindow(MainWindow);
      EndProgram();
    }
  }
}

// The application object of the dialog roles on Linux: GTK's main loop.
#pragma once

#include "platform/application_hooks.h"

typedef struct _GtkWindow GtkWindow;

namespace platform {

class IDialogView;

// GTK's loop: frames from an idle source, the GL windows' X connection
// watched while nothing is drawn, SIGTERM, SIGINT and SIGHUP ending the run.
// Needs gtk_init first (the dialog system does it).
IApplicationHooks& GtkApplication();

// The first dialog becomes the main form: the loop shows it when it starts,
// and closing it ends the program.
void SetGtkMainForm(IDialogView* view, GtkWindow* window);

}  // namespace platform

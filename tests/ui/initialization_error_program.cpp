// Ends as the installer does when its process-wide set-up fails.
#include "ui/process_locale.h"

int wmain()
{
    ExitWithInitializationError();
}

#include "app_icon.h"

// The resources live in a static library: they must be registered by hand once.
static void InitResources() { Q_INIT_RESOURCE(tallowin_ui); }

namespace tallowin::ui {

QIcon AppIcon() {
    static const bool registered = (InitResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/tallowin/tallowin.svg"));
}

}  // namespace tallowin::ui

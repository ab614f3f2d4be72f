// Picks Qt's own event loop through the environment variable Qt reads at start-up.
#include "desktop/net/event_loop_choice.h"

#include <QByteArray>
#include <QtGlobal>

namespace postvane {

void ChooseEventLoop() {
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
}

}  // namespace postvane

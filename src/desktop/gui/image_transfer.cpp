// Picks the X picture transfer through the environment variable Qt's X platform reads.
#include "desktop/gui/image_transfer.h"

#include <QByteArray>
#include <QtGlobal>

namespace postvane {

void ChooseImageTransfer() {
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
    qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
  }
}

}  // namespace postvane

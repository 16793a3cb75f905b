#include "UDisplayLink.h"

#include <xcb/xcb.h>

#include <QGuiApplication>

namespace korvane {

bool DisplayLost() {
  const auto* X11 =
      qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return X11 != nullptr && X11->connection() != nullptr &&
         xcb_connection_has_error(X11->connection()) != 0;
}

}  // namespace korvane

// The controller's WMI query alone: one DiscoverRefreshRange against the
// real WMI service, then exit. lumarest-check's run time is set beside it.
#include <windows.h>

#include "discovery/refresh_range.h"

int wmain() {
  DiscoverRefreshRange();
  return 0;
}

// The one place the product version is written. The resource script's
// version block and the installer package both take it from here.
#pragma once

#define LUMAREST_VERSION_MAJOR 1
#define LUMAREST_VERSION_MINOR 0
#define LUMAREST_VERSION_PATCH 0
#define LUMAREST_VERSION_BUILD 0
#define LUMAREST_VERSION_TEXT "1.0.0.0"

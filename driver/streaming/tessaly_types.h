// The streaming library's API as the driver sees it.
#pragma once

#include <TessalyClient.h>

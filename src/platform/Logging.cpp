#include "Logging.h"

Q_LOGGING_CATEGORY(lcTessik, "tessik")

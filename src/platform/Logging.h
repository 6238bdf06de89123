#pragma once

#include <QLoggingCategory>

// The application's log category. Error lines are written as one line each:
// a fixed prefix naming the operation, then the error's description.
Q_DECLARE_LOGGING_CATEGORY(lcTessik)

#pragma once

#include <QString>

namespace tessik {

// Where the application keeps its files, and the identity of this device.
// Thread-safe; pure functions over the environment (XDG_DATA_HOME and
// XDG_CONFIG_HOME are honoured, which is how tests and a second instance on
// one machine get their own data).
namespace AppPaths {

// "<XDG data folder>/tessik". Computed once per process and created (with its
// parents) on first use. A failure to create it is not reported here: the
// first file operation inside it reports the problem.
QString appSupportDirectory();

// "<appSupportDirectory>/attachments", flat folder of attachment files.
// Computed once per process and created on first use.
QString attachmentsDirectory();

// "<appSupportDirectory>/clips.sqlite", the clip database.
QString databaseURL();

// The identifier of this device: the text saved under "deviceId", created as
// a fresh upper-case UUID text and saved the first time it is needed. Read
// from the user defaults at every use; once written it never changes.
QString deviceId();

} // namespace AppPaths

} // namespace tessik

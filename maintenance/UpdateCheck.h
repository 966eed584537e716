#pragma once
#include <QString>

// Reading the published version number from the vendor's server.
namespace UpdateCheck {

// How long a version fetch may take before it counts as failed.
constexpr int FetchTimeoutMs = 15000;

// Fetches a small text file with a GET and waits for it (a local event loop
// runs meanwhile). Returns false on a network error, an HTTP error status or
// a time-out; the text is then empty. At most maxBytes are kept.
bool FetchText(const QString &url, QString *text, int timeoutMs = FetchTimeoutMs,
               qint64 maxBytes = 64 * 1024);

enum class Outcome {
    Offline,     // no connection, or the fetch failed
    UpToDate,    // the published number is not greater than ours
    NewerVersion // a newer version is published
};

// The whole check: connectivity test, fetch of the version file, update rule.
Outcome Check(int timeoutMs = FetchTimeoutMs);

// The main window's start-up check: true when a newer version is published.
// Offline or a failed fetch count as no update and show nothing.
bool StartupUpdateCheck();

} // namespace UpdateCheck

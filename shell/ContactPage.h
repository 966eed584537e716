#pragma once
#include <QString>

// The page the contact window shows when the vendor's site cannot be
// reached: a short Persian note, right to left, with the site's address (in
// its own left-to-right order) to try again later.
QString ContactOfflinePage(const QString &siteUrl);

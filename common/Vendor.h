#pragma once
#include <QString>

// The one place that knows the vendor's server and pages. The program reaches
// them over HTTPS (plain HTTP works too where a base says so); tests point the
// base at a server on 127.0.0.1.
namespace Vendor {
// Scheme and host, without a trailing "/": "https://www.kvr.example".
QString Base();
void SetBase(const QString &base); // empty: back to the built-in host

QString VersionFileUrl();  // Base + "/Soft/kvr/LastVersion.txt"
QString InstallerUrl();    // Base + "/Soft/kvr/setup-kvr.exe"
QString TemplateZipUrl();  // Base + "/Soft/kvr/KVR-Excel.zip"
QString WebSiteUrl();      // the vendor's home page
QString ShopUrl();         // the shop page
QString MessagingUrl();    // the messaging link
QString ContactPhone();    // the contact number the messaging link reaches
}

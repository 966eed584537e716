#include "shell/ContactPage.h"

QString ContactOfflinePage(const QString &siteUrl)
{
    const QString address = siteUrl.toHtmlEscaped();
    return QStringLiteral(
               "<!DOCTYPE html><html lang=\"fa\" dir=\"rtl\"><head><meta charset=\"utf-8\">"
               "<title>KVR</title><style>"
               "body{font-family:'B Nazanin','Nazli','Noto Naskh Arabic',serif;background:#f4f6fa;color:#1e2a3a;"
               "margin:0;padding:48px 24px;text-align:center;}"
               "h1{font-size:26px;margin:0 0 18px;}p{font-size:19px;line-height:1.8;margin:8px 0;}"
               "bdi{font-family:sans-serif;font-size:16px;}"
               "</style></head><body>"
               "<h1>سايت در دسترس نيست</h1>"
               "<p>ارتباط با سايت برقرار نشد. اتصال اينترنت را بررسي کنيد و بعدا دوباره امتحان کنيد.</p>"
               "<p>آدرس سايت: <bdi dir=\"ltr\">%1</bdi></p>"
               "</body></html>")
        .arg(address);
}

#pragma once
// The downloader's and the installer check's Persian texts, for replies and
// failures the downloader's English messages do not name. A system detail may
// follow on a second line.
#include <QString>

namespace DownloadText {
inline QString BadLength() { return QString::fromUtf8("سرور اندازه فايل را صفر يا نادرست اعلام کرد. فايلي ذخيره نشد."); }
inline QString PartialRange() { return QString::fromUtf8("سرور به جاي تمام فايل تنها بخشي از آن را فرستاد. فايلي ذخيره نشد."); }
inline QString BodyTooLong() { return QString::fromUtf8("سرور بيش از اندازه اعلام شده داده فرستاد. فايلي ذخيره نشد."); }
inline QString RedirectElsewhere() { return QString::fromUtf8("سرور دانلود را به نشاني ديگري فرستاد که پذيرفته نمي شود. فايلي ذخيره نشد."); }
inline QString TooManyRedirects() { return QString::fromUtf8("سرور بيش از پنج بار دانلود را به نشاني ديگري فرستاد. فايلي ذخيره نشد."); }
inline QString CertificateRefused() { return QString::fromUtf8("گواهي امنيتي سرور تاييد نشد و ارتباط برقرار نگرديد. فايلي ذخيره نشد."); }
inline QString SignatureTooLarge() { return QString::fromUtf8("فايل امضا بزرگتر از حد معمول است."); }
inline QString NotVerified() { return QString::fromUtf8("اصالت فايل دانلود شده تاييد نشد و فايل حذف گرديد."); }
inline QString InstallerNotStarted() { return QString::fromUtf8("برنامه نصب اجرا نشد:"); }
} // namespace DownloadText

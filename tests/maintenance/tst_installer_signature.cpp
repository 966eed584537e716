#include "TestSigner.h"
#include "maintenance/InstallerDownload.h"
#include "maintenance/InstallerSignature.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using InstallerSignature::Result;

namespace {

enum class Change {
    None,
    CrLf,             // the signature file with Windows line ends
    FlipFileByte,
    AppendFileByte,
    OtherKey,         // signed with another key
    OtherKeyOurId,    // signed with another key, labelled with our key id
    TrustedComment,   // the trusted comment edited
    GlobalSignature,  // a byte of the comment's signature flipped
    PrehashedAsLegacy,
    UnknownKind,
    Truncated,
    Empty,
    NoUntrustedLine,
    NotBase64,
    ExtraLine,
    MissingFile
};

QList<QByteArray> lines(const QByteArray &sig)
{
    QList<QByteArray> l = sig.split('\n');
    while (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

QByteArray joined(const QList<QByteArray> &l)
{
    return l.join('\n') + '\n';
}

// The signature line decoded, changed by `edit`, encoded again.
QByteArray editSignatureLine(const QByteArray &sig, const std::function<void(QByteArray &)> &edit)
{
    QList<QByteArray> l = lines(sig);
    QByteArray raw = QByteArray::fromBase64(l[1]);
    edit(raw);
    l[1] = raw.toBase64();
    return joined(l);
}

QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 31 + 7) & 0xff);
    return b;
}

} // namespace

class TestInstallerSignature : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void verify_data();
    void verify();
    void publicKey_data();
    void publicKey();
    void builtInKeyIsUsable();
    void fileNameAndSignatureAddress_data();
    void fileNameAndSignatureAddress();

private:
    TestSigner m_signer, m_other;
    InstallerSignature::PublicKey m_key;
    QTemporaryDir m_dir;
};

void TestInstallerSignature::initTestCase()
{
    QVERIFY2(m_signer.isValid(), qPrintable(m_signer.error()));
    QVERIFY2(m_other.isValid(), qPrintable(m_other.error()));
    QVERIFY(InstallerSignature::ParsePublicKey(m_signer.publicKey(), &m_key));
}

void TestInstallerSignature::verify_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("change");
    QTest::addColumn<int>("expected");
    const int pre = int(TestSigner::Kind::Prehashed), legacy = int(TestSigner::Kind::Legacy);
    const auto row = [](const char *name, int kind, int size, Change c, Result r) {
        QTest::newRow(name) << kind << size << int(c) << int(r);
    };
    row("prehashed", pre, 70000, Change::None, Result::Valid);
    row("legacy", legacy, 70000, Change::None, Result::Valid);
    row("legacy, empty file", legacy, 0, Change::None, Result::Valid);
    row("prehashed, larger than one read", pre, 3 * 1024 * 1024 + 5, Change::None, Result::Valid);
    row("Windows line ends", pre, 1000, Change::CrLf, Result::Valid);
    row("prehashed, a byte of the file flipped", pre, 70000, Change::FlipFileByte, Result::FileChanged);
    row("legacy, a byte of the file flipped", legacy, 70000, Change::FlipFileByte, Result::FileChanged);
    row("a byte added to the file", pre, 70000, Change::AppendFileByte, Result::FileChanged);
    row("signed with another key", pre, 1000, Change::OtherKey, Result::OtherKey);
    row("another key under our key id", pre, 1000, Change::OtherKeyOurId, Result::FileChanged);
    row("trusted comment edited", pre, 1000, Change::TrustedComment, Result::CommentChanged);
    row("comment signature altered", legacy, 1000, Change::GlobalSignature, Result::CommentChanged);
    row("prehashed relabelled legacy", pre, 1000, Change::PrehashedAsLegacy, Result::FileChanged);
    row("unknown kind", pre, 1000, Change::UnknownKind, Result::Malformed);
    row("truncated", pre, 1000, Change::Truncated, Result::Malformed);
    row("empty", pre, 1000, Change::Empty, Result::Malformed);
    row("no untrusted comment line", pre, 1000, Change::NoUntrustedLine, Result::Malformed);
    row("signature not base64", pre, 1000, Change::NotBase64, Result::Malformed);
    row("a fifth line", pre, 1000, Change::ExtraLine, Result::Malformed);
    row("file missing", pre, 1000, Change::MissingFile, Result::FileUnreadable);
}

void TestInstallerSignature::verify()
{
    QFETCH(int, kind);
    QFETCH(int, size);
    QFETCH(int, change);
    QFETCH(int, expected);
    QByteArray data = pattern(size);
    const auto k = TestSigner::Kind(kind);
    QByteArray sig = Change(change) == Change::OtherKey || Change(change) == Change::OtherKeyOurId
                         ? m_other.sign(data, k)
                         : m_signer.sign(data, k);
    QVERIFY(!sig.isEmpty());

    switch (Change(change)) {
    case Change::CrLf: sig.replace("\n", "\r\n"); break;
    case Change::FlipFileByte: data[size / 2] = char(data[size / 2] ^ 0x01); break;
    case Change::AppendFileByte: data.append('\0'); break;
    case Change::OtherKeyOurId:
        sig = editSignatureLine(sig, [this](QByteArray &raw) { raw.replace(2, 8, m_key.keyId); });
        break;
    case Change::TrustedComment: {
        QList<QByteArray> l = lines(sig);
        l[2] = "trusted comment: KVR test release, edited";
        sig = joined(l);
        break;
    }
    case Change::GlobalSignature: {
        QList<QByteArray> l = lines(sig);
        QByteArray g = QByteArray::fromBase64(l[3]);
        g[10] = char(g[10] ^ 0x40);
        l[3] = g.toBase64();
        sig = joined(l);
        break;
    }
    case Change::PrehashedAsLegacy:
        sig = editSignatureLine(sig, [](QByteArray &raw) { raw[1] = 'd'; });
        break;
    case Change::UnknownKind:
        sig = editSignatureLine(sig, [](QByteArray &raw) { raw[1] = 'X'; });
        break;
    case Change::Truncated: sig.truncate(sig.size() / 2); break;
    case Change::Empty: sig.clear(); break;
    case Change::NoUntrustedLine: sig = joined(lines(sig).mid(1)); break;
    case Change::NotBase64: {
        QList<QByteArray> l = lines(sig);
        l[1][5] = '*';
        sig = joined(l);
        break;
    }
    case Change::ExtraLine: sig += "untrusted comment: more\n"; break;
    case Change::None:
    case Change::OtherKey:
    case Change::MissingFile: break;
    }

    const QString path = m_dir.filePath(QStringLiteral("setup-kvr.exe"));
    QFile::remove(path);
    if (Change(change) != Change::MissingFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), qint64(data.size()));
    }
    QString detail, comment;
    const Result r = InstallerSignature::VerifyFile(path, sig, m_key, &detail, &comment);
    QCOMPARE(int(r), expected);
    if (r == Result::Valid)
        QCOMPARE(comment, QStringLiteral("KVR test release"));
    else
        QVERIFY(!detail.isEmpty());
}

void TestInstallerSignature::publicKey_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    TestSigner s;
    QVERIFY2(s.isValid(), qPrintable(s.error()));
    const QByteArray line = s.publicKey().split('\n').value(1);
    QByteArray raw = QByteArray::fromBase64(line);
    QTest::newRow("the tool's file") << s.publicKey() << true;
    QTest::newRow("its key line alone") << line << true;
    QTest::newRow("key line with CR LF") << QByteArray("untrusted comment: x\r\n" + line + "\r\n") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("comment only") << QByteArray("untrusted comment: minisign public key\n") << false;
    QTest::newRow("one byte short") << raw.left(raw.size() - 1).toBase64() << false;
    QByteArray otherKind = raw;
    otherKind[1] = 'X';
    QTest::newRow("another algorithm") << otherKind.toBase64() << false;
}

void TestInstallerSignature::publicKey()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    InstallerSignature::PublicKey key;
    QCOMPARE(InstallerSignature::ParsePublicKey(text, &key), valid);
    if (valid) {
        QCOMPARE(key.keyId.size(), 8);
        QCOMPARE(key.key.size(), 32);
    }
}

void TestInstallerSignature::builtInKeyIsUsable()
{
    InstallerSignature::PublicKey key;
    QVERIFY(InstallerSignature::ParsePublicKey(InstallerSignature::TrustedPublicKey(), &key));
    // A test key replaces it, and an empty text brings it back.
    InstallerSignature::SetTrustedPublicKeyForTests(m_signer.publicKey());
    QCOMPARE(InstallerSignature::TrustedPublicKey(), m_signer.publicKey());
    InstallerSignature::SetTrustedPublicKeyForTests(QByteArray());
    InstallerSignature::PublicKey again;
    QVERIFY(InstallerSignature::ParsePublicKey(InstallerSignature::TrustedPublicKey(), &again));
    QCOMPARE(again.keyId, key.keyId);
}

void TestInstallerSignature::fileNameAndSignatureAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("signature"); // empty: not looked at
    QTest::newRow("plain") << "http://www.kvr.example/Soft/kvr/setup-kvr.exe" << "setup-kvr.exe"
                           << "http://www.kvr.example/Soft/kvr/setup-kvr.exe.minisig";
    QTest::newRow("secure, with port") << "https://127.0.0.1:8443/Soft/kvr/setup-kvr.exe" << "setup-kvr.exe"
                                       << "https://127.0.0.1:8443/Soft/kvr/setup-kvr.exe.minisig";
    QTest::newRow("query stays last") << "https://h/setup-kvr.exe?v=2" << "setup-kvr.exe?v=2"
                                      << "https://h/setup-kvr.exe.minisig?v=2";
    QTest::newRow("secure, capital scheme") << "HTTPS://www.kvr.example/setup-kvr.exe" << "" << "";
    QTest::newRow("secure prefix alone") << "https://" << "" << "";
    QTest::newRow("secure, name without full stop") << "https://h/Soft/setup" << "" << "";
    QTest::newRow("secure, parent folder") << "https://h/Soft/.." << "" << "";
    QTest::newRow("other scheme") << "ftp://h/setup-kvr.exe" << "" << "";
}

void TestInstallerSignature::fileNameAndSignatureAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QString, signature);
    QCOMPARE(InstallerDownload::FileName(url), name);
    if (!signature.isEmpty())
        QCOMPARE(InstallerDownload::SignatureUrl(url), signature);
}

QTEST_MAIN(TestInstallerSignature)
#include "tst_installer_signature.moc"

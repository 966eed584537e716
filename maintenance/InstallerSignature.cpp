#include "maintenance/InstallerSignature.h"

#include <QFile>
#include <QList>

#include <sodium.h>

#ifndef KVR_RELEASE_PUBLIC_KEY
#error "KVR_RELEASE_PUBLIC_KEY must name the release public key (set by the build from data/tools/kvr-release.pub)"
#endif

namespace InstallerSignature {
namespace {

const QByteArray UntrustedPrefix = QByteArrayLiteral("untrusted comment: ");
const QByteArray TrustedPrefix = QByteArrayLiteral("trusted comment: ");
constexpr int KindSize = 2;
constexpr int KeyIdSize = 8;
constexpr int SignatureSize = crypto_sign_BYTES; // 64
constexpr int KeySize = crypto_sign_PUBLICKEYBYTES; // 32

QByteArray &testKey()
{
    static QByteArray key;
    return key;
}

bool decode(const QByteArray &line, int size, QByteArray *out)
{
    auto result = QByteArray::fromBase64Encoding(line, QByteArray::Base64Encoding
                                                           | QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != size)
        return false;
    *out = result.decoded;
    return true;
}

// The lines of a text file, without their line ends ("\n" or "\r\n").
QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines;
}

Result fail(Result r, QString *detail, const QString &text)
{
    if (detail)
        *detail = text;
    return r;
}

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// BLAKE2b-512 of the file, read in blocks.
bool hashFile(QFile &file, unsigned char *hash)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char *>(block.constData()),
                                  static_cast<unsigned long long>(n));
    }
    crypto_generichash_final(&state, hash, crypto_generichash_BYTES_MAX);
    return true;
}

bool verifyDetached(const QByteArray &signature, const unsigned char *message, unsigned long long length,
                    const QByteArray &key)
{
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()), message,
                                       length, reinterpret_cast<const unsigned char *>(key.constData()))
           == 0;
}

} // namespace

bool ParsePublicKey(const QByteArray &text, PublicKey *key, QString *error)
{
    QByteArray line;
    for (const QByteArray &l : linesOf(text)) {
        if (l.startsWith("untrusted comment:") || l.trimmed().isEmpty())
            continue;
        line = l.trimmed();
        break;
    }
    QByteArray raw;
    if (!decode(line, KindSize + KeyIdSize + KeySize, &raw) || !raw.startsWith("Ed")) {
        if (error)
            *error = QStringLiteral("not a public key");
        return false;
    }
    key->keyId = raw.mid(KindSize, KeyIdSize);
    key->key = raw.mid(KindSize + KeyIdSize);
    return true;
}

Result VerifyFile(const QString &path, const QByteArray &signatureText, const PublicKey &key, QString *detail,
                  QString *trustedComment)
{
    if (!sodiumReady())
        return fail(Result::NoCrypto, detail, QStringLiteral("the signature library could not start"));
    if (key.keyId.size() != KeyIdSize || key.key.size() != KeySize)
        return fail(Result::Malformed, detail, QStringLiteral("no usable public key"));

    const QList<QByteArray> lines = linesOf(signatureText);
    if (lines.size() != 4 || !lines[0].startsWith(UntrustedPrefix) || !lines[2].startsWith(TrustedPrefix))
        return fail(Result::Malformed, detail, QStringLiteral("the signature file is not in the expected form"));
    QByteArray raw, global;
    if (!decode(lines[1].trimmed(), KindSize + KeyIdSize + SignatureSize, &raw)
        || !decode(lines[3].trimmed(), SignatureSize, &global))
        return fail(Result::Malformed, detail, QStringLiteral("the signature file is not in the expected form"));
    const QByteArray kind = raw.left(KindSize);
    const bool prehashed = kind == "ED";
    if (!prehashed && kind != "Ed")
        return fail(Result::Malformed, detail, QStringLiteral("unknown signature kind"));
    if (raw.mid(KindSize, KeyIdSize) != key.keyId)
        return fail(Result::OtherKey, detail, QStringLiteral("the file was signed with another key"));
    const QByteArray signature = raw.mid(KindSize + KeyIdSize);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Result::FileUnreadable, detail, file.errorString());
    bool holds = false;
    if (prehashed) {
        unsigned char hash[crypto_generichash_BYTES_MAX];
        if (!hashFile(file, hash))
            return fail(Result::FileUnreadable, detail, file.errorString());
        holds = verifyDetached(signature, hash, sizeof hash, key.key);
    } else {
        // The legacy kind signs the file itself: it is mapped, not copied.
        const qint64 size = file.size();
        if (size == 0) {
            holds = verifyDetached(signature, reinterpret_cast<const unsigned char *>(""), 0, key.key);
        } else if (uchar *mapped = file.map(0, size)) {
            holds = verifyDetached(signature, mapped, static_cast<unsigned long long>(size), key.key);
            file.unmap(mapped);
        } else {
            const QByteArray all = file.readAll();
            if (all.size() != size)
                return fail(Result::FileUnreadable, detail, file.errorString());
            holds = verifyDetached(signature, reinterpret_cast<const unsigned char *>(all.constData()),
                                   static_cast<unsigned long long>(all.size()), key.key);
        }
    }
    if (!holds)
        return fail(Result::FileChanged, detail, QStringLiteral("the signature does not match the file"));

    const QByteArray comment = lines[2].mid(TrustedPrefix.size());
    const QByteArray signedComment = signature + comment;
    if (!verifyDetached(global, reinterpret_cast<const unsigned char *>(signedComment.constData()),
                        static_cast<unsigned long long>(signedComment.size()), key.key))
        return fail(Result::CommentChanged, detail, QStringLiteral("the trusted comment does not match its signature"));
    if (trustedComment)
        *trustedComment = QString::fromUtf8(comment);
    return Result::Valid;
}

QByteArray TrustedPublicKey()
{
    return testKey().isEmpty() ? QByteArrayLiteral(KVR_RELEASE_PUBLIC_KEY) : testKey();
}

void SetTrustedPublicKeyForTests(const QByteArray &text)
{
    testKey() = text;
}

} // namespace InstallerSignature

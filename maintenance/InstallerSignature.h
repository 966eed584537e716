#pragma once
// Checks a downloaded installer against the detached signature the vendor
// publishes beside it ("setup-kvr.exe.minisig"), made with the minisign tool
// (Ed25519). Both of the tool's kinds are accepted:
//   "Ed"  the signature is over the file itself (the tool's legacy kind);
//   "ED"  the signature is over the file's BLAKE2b-512 hash (the default).
// A signature file is four lines:
//   untrusted comment: <anything>
//   base64( kind[2] key id[8] signature[64] )
//   trusted comment: <text>
//   base64( signature[64] over signature[64] + text )
// The file is genuine only when the key id is that of the trusted key, the
// signature over the file holds and the signature over the trusted comment
// holds too. A public key is the tool's ".pub" file, or its base64 line
// alone: base64( "Ed"[2] key id[8] key[32] ).
#include <QByteArray>
#include <QString>

namespace InstallerSignature {

struct PublicKey {
    QByteArray keyId; // 8 bytes
    QByteArray key;   // 32 bytes
};

enum class Result {
    Valid,
    Malformed,        // not a signature in the tool's format
    OtherKey,         // made with a key other than the trusted one
    FileChanged,      // the signature does not hold for this file
    CommentChanged,   // the trusted comment or its signature was altered
    FileUnreadable,   // the downloaded file could not be read
    NoCrypto          // the signature library could not start
};

// Reads a public key; false (and *error) when the text is not one.
bool ParsePublicKey(const QByteArray &text, PublicKey *key, QString *error = nullptr);

// Checks the file at `path` against `signatureText` with `key`. *detail gets
// an English sentence on failure; *trustedComment the signed comment when the
// signature holds.
Result VerifyFile(const QString &path, const QByteArray &signatureText, const PublicKey &key,
                  QString *detail = nullptr, QString *trustedComment = nullptr);

// The vendor's release key, built into the program. Tests replace it with a
// key of their own; an empty text restores the built-in one.
QByteArray TrustedPublicKey();
void SetTrustedPublicKeyForTests(const QByteArray &text);

} // namespace InstallerSignature

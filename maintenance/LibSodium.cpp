// libsodium, loaded when the program first checks an installer's signature
// instead of at every start. Each function the check calls is defined here
// and goes on to the library's own, looked up the first time it is called.
//
// Without the library, sodium_init() fails, so the check says the signature
// library could not start; the other functions answer as for a failure.
#include "common/LazyLibrary.h"

#include <sodium.h>

namespace {

void *library()
{
    static void *const handle = LazyLibrary::Open("libsodium.so.23");
    return handle;
}

} // namespace

#define KVR_SODIUM(name, fallback, ...) KVR_LAZY_CALL(library, name, fallback, __VA_ARGS__)

extern "C" {

int sodium_init(void) KVR_LAZY_CALL0(library, sodium_init, -1)
int crypto_sign_verify_detached(const unsigned char *sig, const unsigned char *m, unsigned long long mlen,
                                const unsigned char *pk)
    KVR_SODIUM(crypto_sign_verify_detached, -1, sig, m, mlen, pk)
int crypto_generichash_init(crypto_generichash_state *state, const unsigned char *key, const size_t keylen,
                            const size_t outlen) KVR_SODIUM(crypto_generichash_init, -1, state, key, keylen, outlen)
int crypto_generichash_update(crypto_generichash_state *state, const unsigned char *in, unsigned long long inlen)
    KVR_SODIUM(crypto_generichash_update, -1, state, in, inlen)
int crypto_generichash_final(crypto_generichash_state *state, unsigned char *out, const size_t outlen)
    KVR_SODIUM(crypto_generichash_final, -1, state, out, outlen)

} // extern "C"

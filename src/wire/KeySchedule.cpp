#include "wire/KeySchedule.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <memory>
#include <string_view>
#include <vector>

namespace KeySchedule {
namespace {

struct KdfContextFree
{
    void operator()(EVP_KDF_CTX* context) const { EVP_KDF_CTX_free(context); }
};
using KdfContext = std::unique_ptr<EVP_KDF_CTX, KdfContextFree>;

KdfContext newContext(const char* algorithm)
{
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, algorithm, nullptr);
    if (!kdf)
        return nullptr;
    KdfContext context(EVP_KDF_CTX_new(kdf));
    EVP_KDF_free(kdf);
    return context;
}

char* digestName(const CipherSuite& suite)
{
    static char sha256[] = "SHA256";
    static char sha384[] = "SHA384";
    return suite.hash == CipherSuite::Hash::Sha256 ? sha256 : sha384;
}

// The OSSL_PARAM interface takes non-const pointers for input it only reads.
void* in(const void* bytes)
{
    return const_cast<void*>(bytes);
}

bool expandLabel(const CipherSuite& suite,
                 const SecretBytes& secret,
                 std::string_view label,
                 std::span<std::uint8_t> out)
{
    KdfContext context = newContext("TLS13-KDF");
    if (!context || secret.empty())
        return false;
    static const char prefix[] = "tls13 ";
    int mode = EVP_KDF_HKDF_MODE_EXPAND_ONLY;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_int(OSSL_KDF_PARAM_MODE, &mode),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digestName(suite), 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, in(secret.bytes().data()), secret.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PREFIX, in(prefix), sizeof prefix - 1),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_LABEL, in(label.data()), label.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_DATA, in(""), 0),
        OSSL_PARAM_construct_end(),
    };
    return EVP_KDF_derive(context.get(), out.data(), out.size(), params) == 1;
}

std::optional<SecretBytes>
expand(const CipherSuite& suite, const SecretBytes& secret, std::string_view label, std::size_t length)
{
    std::array<std::uint8_t, SecretBytes::kCapacity> out{};
    std::optional<SecretBytes> result;
    if (length <= out.size() && expandLabel(suite, secret, label, std::span(out).first(length)))
        result = SecretBytes(std::span<const std::uint8_t>(out.data(), length));
    OPENSSL_cleanse(out.data(), out.size());
    return result;
}

} // namespace

std::optional<TrafficKeys> tls13Keys(const CipherSuite& suite, const SecretBytes& trafficSecret)
{
    auto key = expand(suite, trafficSecret, "key", suite.keyLength());
    auto iv = expand(suite, trafficSecret, "iv", 12);
    if (!key || !iv)
        return std::nullopt;
    return TrafficKeys{*key, *iv};
}

std::optional<SecretBytes> tls13NextSecret(const CipherSuite& suite, const SecretBytes& trafficSecret)
{
    return expand(suite, trafficSecret, "traffic upd", suite.hashLength());
}

std::optional<Tls12Keys> tls12Keys(const CipherSuite& suite,
                                   const SecretBytes& masterSecret,
                                   std::span<const std::uint8_t> clientRandom,
                                   std::span<const std::uint8_t> serverRandom)
{
    KdfContext context = newContext("TLS1-PRF");
    if (!context || masterSecret.empty())
        return std::nullopt;
    // key_block = PRF(master, "key expansion", server_random + client_random); AEAD suites have
    // no MAC keys, so it holds the two write keys, then the two IVs.
    std::vector<std::uint8_t> seed = {'k', 'e', 'y', ' ', 'e', 'x', 'p', 'a', 'n', 's', 'i', 'o', 'n'};
    seed.insert(seed.end(), serverRandom.begin(), serverRandom.end());
    seed.insert(seed.end(), clientRandom.begin(), clientRandom.end());
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digestName(suite), 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, in(masterSecret.bytes().data()), masterSecret.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED, seed.data(), seed.size()),
        OSSL_PARAM_construct_end(),
    };
    const std::size_t keyLength = suite.keyLength();
    const std::size_t ivLength = suite.fixedIvLength();
    std::array<std::uint8_t, 2 * 32 + 2 * 12> block{};
    const std::span<std::uint8_t> used = std::span(block).first(2 * keyLength + 2 * ivLength);
    std::optional<Tls12Keys> result;
    if (EVP_KDF_derive(context.get(), used.data(), used.size(), params) == 1) {
        result = Tls12Keys{
            {SecretBytes(used.subspan(0, keyLength)), SecretBytes(used.subspan(2 * keyLength, ivLength))},
            {SecretBytes(used.subspan(keyLength, keyLength)),
             SecretBytes(used.subspan(2 * keyLength + ivLength, ivLength))},
        };
    }
    OPENSSL_cleanse(block.data(), block.size());
    return result;
}

} // namespace KeySchedule

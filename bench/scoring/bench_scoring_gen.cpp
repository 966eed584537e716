// Writes COUNT random answer rows "code,gender,a1,...,a40" (with a header
// line) to standard output, from a fixed seed so every run times the same
// input. Mostly ordinary answers, a few empty or odd ones, mixed genders.
//   bench_scoring_gen [COUNT] > rows.csv

#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char *argv[])
{
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
    static const char *const answers[] = {"0", "1", "2", "0", "1", "2", "0", "1", "2", "0", "1", "2", "", " 1", "1.5"};
    static const char *const genders[] = {"\xd9\x85\xd8\xb1\xd8\xaf", "\xd8\xb2\xd9\x86", "", " \xd9\x85\xd8\xb1\xd8\xaf"};
    QRandomGenerator rng(4100);
    std::string out = "code,gender";
    for (int i = 1; i <= 40; ++i)
        out += ",a" + std::to_string(i);
    out += '\n';
    for (long n = 1; n <= count; ++n) {
        out += std::to_string(n);
        out += ',';
        const quint32 g = rng.bounded(10u);
        out += genders[g < 4 ? 0 : g < 8 ? 1 : g - 6];
        for (int i = 0; i < 40; ++i) {
            out += ',';
            out += answers[rng.bounded(15u)];
        }
        out += '\n';
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

// Whatever the value, the listing gives it back: removing the newline after
// each semicolon and the closing character leaves the value byte for byte.
// Seeded, so a failure repeats: RUVO_PROPERTY_SEED=<seed> reruns one seed.
#include "capture.h"
#include "launcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {
const std::string header =
    std::string(48, '-') + "\nContent of environment variable V\n" + std::string(48, '-') + "\n";

// The longest value Linux lets one environment string carry ("V=" and the
// NUL take three bytes of the 128 KiB).
constexpr std::size_t longest_value = 131072 - 3;
// Sizes of the program's own output buffer and of the C library's stdio
// buffer: the boundaries a value's semicolons must land around.
constexpr std::size_t buffer_sizes[] = {65536, 4096, 8192};

// Lists value through the whole run and checks it against the value.
void check_round_trip(const std::string& value, const std::string& what) {
    if (testing::Test::HasFatalFailure())
        return; // one failure tells it: the thousands of values after it would repeat it
    SCOPED_TRACE(what + ", length " + std::to_string(value.size()));
    ASSERT_EQ(setenv("V", value.c_str(), 1), 0);
    char name[] = "V", program[] = "ruvo";
    char* argv[] = {program, name, nullptr};
    int status = -1;
    std::string out = captured_run(2, argv, status);
    ASSERT_EQ(status, 0);
    ASSERT_PRED_FORMAT2(same_bytes, out.substr(0, header.size()), header);
    ASSERT_GT(out.size(), header.size());
    std::string back;
    std::size_t last = out.size() - 1;
    for (std::size_t i = header.size(); i < last; ++i) {
        back += out[i];
        if (out[i] == ';') {
            ASSERT_LT(i + 1, last) << "a semicolon without its newline";
            ASSERT_EQ(out[++i], '\n') << "at listing offset " << i;
        }
    }
    ASSERT_PRED_FORMAT2(same_bytes, back, value);
    bool open_line = !value.empty() && value.back() != ';';
    ASSERT_EQ(out[last], open_line ? '\n' : ' ');
}

// Any byte but NUL; semicolons with the given density.
std::string random_value(std::mt19937& random, std::size_t length, double semicolons) {
    std::bernoulli_distribution is_semicolon(semicolons);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string value(length, ';');
    for (char& c : value)
        if (!is_semicolon(random))
            c = static_cast<char>(byte(random));
    return value;
}

unsigned seed_to_use() {
    const char* text = getenv("RUVO_PROPERTY_SEED");
    return text != nullptr ? static_cast<unsigned>(strtoul(text, nullptr, 10)) : 20261208u;
}

TEST(listing_property, random_values_come_back_unchanged) {
    const unsigned seed = seed_to_use();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const double densities[] = {0.0, 0.001, 0.02, 0.1, 0.5, 0.95, 1.0};
    std::uniform_int_distribution<std::size_t> short_length(0, 100), any_length(0, longest_value);
    for (int round = 0; round < 40; ++round) {
        for (double density : densities) {
            std::size_t length = round % 4 == 0 ? any_length(random) : short_length(random);
            check_round_trip(random_value(random, length, density),
                             "density " + std::to_string(density));
        }
    }
    check_round_trip(random_value(random, longest_value, 0.5), "longest value");
}

// A semicolon two bytes before to two bytes after each buffer boundary, in
// values whose output runs 0 to 3 bytes ahead of the value (earlier
// semicolons each add a newline), and runs of semicolons across it.
TEST(listing_property, semicolons_around_buffer_boundaries) {
    for (std::size_t size : buffer_sizes) {
        for (std::size_t boundary = size; boundary < longest_value; boundary += size) {
            for (std::size_t ahead = 0; ahead <= 3; ++ahead) {
                for (std::size_t at = boundary - ahead - 2; at <= boundary - ahead + 2; ++at) {
                    std::string value(boundary + 8, 'x');
                    value.replace(0, ahead, ahead, ';');
                    value[at] = ';';
                    check_round_trip(value, "semicolon at " + std::to_string(at));
                    check_round_trip(value.substr(0, at + 1), "ending at " + std::to_string(at));
                }
            }
        }
        std::string dense(size + 5, ';');
        check_round_trip(dense, "semicolons only");
        check_round_trip("x" + dense, "semicolons after one byte");
    }
    for (std::size_t length : {65535u, 65536u, 65537u, 131069u})
        check_round_trip(std::string(length, 'y'), "one element of " + std::to_string(length));
}
} // namespace

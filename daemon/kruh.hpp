// A queue of one producing thread for one consumer, in storage made once:
// a ring of bytes that the producer appends records to and the consumer
// takes them from, without a lock and without allocating. The time sender
// hands its log entries and its console line to their writers through one
// each, so that it never waits for a lock that another thread can hold and
// never allocates after its start.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What a record carries beside its text.
struct hlavickakruhu {
    std::uint64_t poradi = 0;  // its place among the entries of every thread
    std::int64_t cas = 0;      // the time of its prefix (Unix time)
    std::int64_t vytvoren = 0; // the same moment, in ms of the monotonic clock
    std::uint32_t delka = 0;   // bytes of its text
    std::uint32_t sprefixem = 0;
};

struct kruh {
    explicit kruh(std::size_t velikost);
    kruh(const kruh &) = delete;
    kruh &operator=(const kruh &) = delete;

    std::unique_ptr<char[]> data;
    std::size_t velikost;
    std::atomic<std::uint64_t> konec{0};   // bytes ever appended (the producer's)
    std::atomic<std::uint64_t> zacatek{0}; // bytes ever taken (the consumer's)
    std::atomic<std::uint64_t> vlozeno{0}; // records ever appended
    std::atomic<std::uint64_t> vyjmuto{0}; // records ever taken
    // Set while the producer makes a record: one it is making may come
    // before a record of another thread that the consumer already sees.
    std::atomic<bool> vyrabi{false};
    // The producer's count of records that did not fit: since the last
    // summary, and in all.
    std::atomic<std::uint64_t> ztraceno{0};
    std::atomic<std::uint64_t> ztracenocelkem{0};
};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

// Producer: appends the record when it fits; false when it does not.
bool vloz(kruh &k, hlavickakruhu h, const char *text);
// Consumer: the first record's header; false when the ring is empty.
bool nahledni(const kruh &k, hlavickakruhu &h);
// Consumer: takes the first record, whose header nahledni gave, and appends
// its text to `text`.
void vyjmi(kruh &k, const hlavickakruhu &h, std::string &text);
// Records in the ring.
inline std::uint64_t vkruhu(const kruh &k) {
    return k.vlozeno.load() - k.vyjmuto.load();
}

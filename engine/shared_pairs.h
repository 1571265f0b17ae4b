// Level 2 over the pairs that occur, when several ranks share the run.
//
// Each rank counts the pairs of its own records (engine/occurring_pairs.h); the
// pairs differ from rank to rank, so their counts cannot be summed as an array.
// Nor need every pair travel: a pair whose count over R ranks reaches min_count
// reaches ceil(min_count / R) on at least one of them. So each rank nominates
// the pairs it counts that often, every rank gathers every nomination, counts
// each nominated pair on its own records (a second walk over its rows) and the
// counts are summed. Every rank then takes the same frequent pairs, in
// ascending (a, b), with the supports one process would find.
//
// The nominations are exchanged a round of rows at a time: a round gathers at
// most room_bytes of keys and summed counts (one row at least), and each round
// after the first walks the rows again.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/occurring_pairs.h"
#include "util/cluster.h"

// Receives a frequent pair (a < b, dense ids) and its support over the ranks.
using pair_taker = std::function<void(std::uint32_t a, std::uint32_t b, std::uint32_t support)>;

// Collective: the pairs of rows (rows of n items) whose support over the ranks
// of peers reaches min_count, handed to take in ascending (a, b).
template <class T>
void take_shared_pairs(cluster& peers, occurring_pairs<T>& rows, std::uint32_t n,
                       std::uint32_t min_count, std::uint64_t room_bytes, const pair_taker& take);

// The rounds of the exchange: the first row of each, then n, where
// nominations[a] is the number of keys (over every rank) of row a. A round's
// keys take at most room_bytes (and 2^28 keys), unless a single row takes more.
std::vector<std::uint32_t> cut_exchange_rounds(const std::vector<std::uint32_t>& nominations,
                                               std::uint64_t room_bytes);

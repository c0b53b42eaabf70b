#pragma once

// Three `station program --auto` processes at once, two readers each, on
// one PostgreSQL journal with sealing, against one such process alone: the
// station's own time per token in each (bench_auto_programming ROUNDS
// processes).
int RunStationProcesses(int rounds);

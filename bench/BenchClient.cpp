#include "BenchClient.h"

extern "C" __attribute__((noinline)) void quillmarsh_bench_operation(BenchClient *client, const BenchCase *c)
{
    client->perform(*c);
}

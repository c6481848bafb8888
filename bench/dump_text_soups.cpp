// Writes the text-soup benchmarks' soups with TextSoup::Write, one file per
// size, into the folder given as the only argument. Built by
// compare_outputs.sh against each build it compares (not a benchmark).
#include <cstdio>
#include <string>

#include "TextSoupTrees.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dump_text_soups FOLDER\n");
    return 2;
  }
  for (const int tags : {10000, 100000, 1000000}) {
    TBuffer stream;
    TextSoup::Write(stream, benchtrees::MakeSoup(tags));
    const Kiv::DynamicBuffer* data = stream.GetData();
    const std::string path = std::string(argv[1]) + "/soup-" + std::to_string(tags) + ".txt";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr ||
        std::fwrite(data->Data(), 1, data->DataLength(), out) != data->DataLength() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "dump_text_soups: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

// The sound list: the names the audio source callback hands to a conversion, one entry per MclListAdd.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mcl/mcl.h"

struct MclList {
    std::vector<std::string> names;
};

MclListHandle MclListAlloc() {
    return new MclList;
}

void MclListFree(MclListHandle list) {
    delete list;
}

// kind, a and b describe the entry's use in the original interface (16: a sound file); every entry here is
// a sound file, so they are accepted and not kept. An empty name is an entry too: it stands for "no sound".
void MclListAdd(MclListHandle list, const std::string& name, int32_t /*kind*/, int32_t /*a*/, int32_t /*b*/) {
    if (list) list->names.push_back(name);
}

int32_t MclListGetName(MclListHandle list, int32_t index, char* buffer, int32_t bufferSize) {
    if (!list || !buffer || bufferSize <= 0 || index < 0 || static_cast<size_t>(index) >= list->names.size())
        return 0;
    const std::string& name = list->names[static_cast<size_t>(index)];
    const size_t n = std::min(name.size(), static_cast<size_t>(bufferSize) - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return 1;
}

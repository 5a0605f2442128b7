#include "editor/CEditHistory.h"

#include "base/ValueIds.h"
#include "patch/CProgram.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The program's stored data as whole words: from its first field up to the
// fine-tune link, which belongs to the instance, not to the program.
const char* dataOf(const CProgram& p) {
    return reinterpret_cast<const char*>(&p.name);
}
char* dataOf(CProgram& p) {
    return reinterpret_cast<char*>(&p.name);
}
size_t wordCount(const CProgram& p) {
    return size_t(reinterpret_cast<const char*>(&p.fineTune) - dataOf(p)) / sizeof(uint64_t);
}
uint64_t wordAt(const CProgram& p, size_t w) {
    uint64_t word;
    std::memcpy(&word, dataOf(p) + w * sizeof word, sizeof word);
    return word;
}
void copyData(CProgram& to, const CProgram& from) {
    std::memcpy(dataOf(to), dataOf(from), wordCount(from) * sizeof(uint64_t));
}

} // namespace

CEditHistory::CEditHistory() = default;
CEditHistory::~CEditHistory() = default;

size_t CEditHistory::Step::bytes() const {
    return sizeof(Step) + runs.capacity() * sizeof(Run) +
           (before.capacity() + after.capacity()) * sizeof(uint64_t);
}

void CEditHistory::reset(const CProgram& now) {
    steps.clear();
    undone = 0;
    used = 0;
    if (!baseline) baseline.reset(new (std::nothrow) CProgram());
    if (baseline) copyData(*baseline, now);
}

bool CEditHistory::record(const CProgram& now, uint64_t ignored) {
    if (!baseline) {
        reset(now);
        return false;
    }
    // The host's own changes of its parameters are left out: the program is
    // measured with them as they were.
    const CProgram* measured = &now;
    for (int32_t id = 0; ignored && id < kHostParameterCount; ++id) {
        if (!((ignored >> id) & 1)) continue;
        const double was = baseline->getValue(id, false), is = now.getValue(id, false);
        if (std::memcmp(&was, &is, sizeof was) == 0) continue;
        if (!scratch) scratch.reset(new (std::nothrow) CProgram());
        if (!scratch) return false;
        if (measured != scratch.get()) copyData(*scratch, now);
        measured = scratch.get();
        scratch->setValue(id, was);
    }

    // Compared a block at a time: most of the program is the same.
    constexpr size_t kBlockWords = 64;
    const size_t words = wordCount(now);
    Step step;
    for (size_t block = 0; block < words; block += kBlockWords) {
        const size_t n = std::min(kBlockWords, words - block);
        if (std::memcmp(dataOf(*baseline) + block * sizeof(uint64_t),
                        dataOf(*measured) + block * sizeof(uint64_t), n * sizeof(uint64_t)) == 0)
            continue;
        for (size_t w = block; w < block + n; ++w) {
            const uint64_t was = wordAt(*baseline, w), is = wordAt(*measured, w);
            if (was == is) continue;
            if (!step.runs.empty() && step.runs.back().word + step.runs.back().count == w)
                ++step.runs.back().count;
            else
                step.runs.push_back(Run{uint32_t(w), 1});
            step.before.push_back(was);
            step.after.push_back(is);
        }
    }
    if (measured != &now || !step.runs.empty()) copyData(*baseline, now);
    if (step.runs.empty()) return false;
    step.runs.shrink_to_fit();
    step.before.shrink_to_fit();
    step.after.shrink_to_fit();

    // A new step ends the way back to the steps undone.
    while (undone > 0) {
        used -= steps.back().bytes();
        steps.pop_back();
        --undone;
    }
    const size_t bytes = step.bytes();
    if (bytes > kMemoryBound) {
        // Too large to keep at all: the earlier steps no longer lead here.
        steps.clear();
        used = 0;
        return false;
    }
    while (!steps.empty() && used + bytes > kMemoryBound)
        dropOldest();
    used += bytes;
    steps.push_back(std::move(step));
    return true;
}

void CEditHistory::dropOldest() {
    used -= steps.front().bytes();
    steps.pop_front();
}

const CProgram* CEditHistory::build(const CProgram& now, const Step& step, bool before) {
    if (!scratch) scratch.reset(new (std::nothrow) CProgram());
    if (!scratch) return nullptr;
    copyData(*scratch, now);
    const std::vector<uint64_t>& words = before ? step.before : step.after;
    size_t k = 0;
    for (const Run& run : step.runs) {
        std::memcpy(dataOf(*scratch) + size_t(run.word) * sizeof(uint64_t), &words[k],
                    run.count * sizeof(uint64_t));
        k += run.count;
    }
    return scratch.get();
}

const CProgram* CEditHistory::undo(const CProgram& now) {
    if (!canUndo()) return nullptr;
    const CProgram* target = build(now, steps[steps.size() - undone - 1], true);
    if (target) ++undone;
    return target;
}

const CProgram* CEditHistory::redo(const CProgram& now) {
    if (!canRedo()) return nullptr;
    const CProgram* target = build(now, steps[steps.size() - undone], false);
    if (target) --undone;
    return target;
}

void CEditHistory::settle(const CProgram& now) {
    if (baseline) copyData(*baseline, now);
}

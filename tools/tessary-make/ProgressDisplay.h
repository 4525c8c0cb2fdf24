#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Shows a run's progress on a terminal: one line per step with a bar and a
// count, rewritten in place; on anything else one plain line per finished step.
class ProgressDisplay {
public:
    // photos: how many photos the run handles; cells: how many of them the
    // navigation table shows.
    ProgressDisplay(std::FILE* out, bool interactive, int photos, int cells);

    // eventType is the engine's GenEventTypeEnum value.
    void Update(int eventType, std::int16_t currentValue);
    // Ends the line of the step in progress.
    void Finish();

    // "Thumbnails   [##########----------]  3 of 12" for a bar of `width` cells.
    static std::string Line(const std::string& label, int done, int total, int width);

private:
    std::FILE* out_;
    bool interactive_;
    int photos_;
    int cells_;
    int step_ = 0;
    int done_ = 0;
};

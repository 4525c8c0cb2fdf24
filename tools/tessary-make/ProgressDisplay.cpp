#include "ProgressDisplay.h"

#include <algorithm>

namespace {

struct Step {
    int eventType;
    const char* label;
};

// In the order a run takes them.
constexpr Step kSteps[] = {
    {2, "Thumbnails"},
    {1, "Copies"},
    {3, "Photo pages"},
    {4, "Table cells"},
};

const char* LabelOf(int eventType) {
    for (const Step& step : kSteps)
        if (step.eventType == eventType)
            return step.label;
    return "Working";
}

constexpr int kBarWidth = 30;

} // namespace

ProgressDisplay::ProgressDisplay(std::FILE* out, bool interactive, int photos, int cells)
    : out_(out), interactive_(interactive), photos_(photos), cells_(cells) {}

std::string ProgressDisplay::Line(const std::string& label, int done, int total, int width) {
    const int filled = total > 0 ? std::clamp(done * width / total, 0, width) : width;
    std::string line = label;
    line.resize(std::max<std::size_t>(line.size(), 12), ' ');
    line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(width - filled), '-') + "] ";
    line += std::to_string(done) + " of " + std::to_string(total);
    return line;
}

void ProgressDisplay::Update(int eventType, std::int16_t currentValue) {
    if (eventType != step_) {
        Finish();
        step_ = eventType;
    }
    done_ = currentValue + 1;
    if (interactive_) {
        const int total = step_ == 4 ? cells_ : photos_;
        std::fprintf(out_, "\r%s\033[K",
                     Line(LabelOf(step_), done_, std::max(total, done_), kBarWidth).c_str());
        std::fflush(out_);
    }
}

void ProgressDisplay::Finish() {
    if (step_ == 0)
        return;
    const int total = std::max(step_ == 4 ? cells_ : photos_, done_);
    if (interactive_)
        std::fprintf(out_, "\r%s\033[K\n", Line(LabelOf(step_), done_, total, kBarWidth).c_str());
    else
        std::fprintf(out_, "%s: %d of %d\n", LabelOf(step_), done_, total);
    std::fflush(out_);
    step_ = 0;
    done_ = 0;
}

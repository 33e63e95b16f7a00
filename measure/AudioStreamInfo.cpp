// The meter and the generator built on a real wave component. Kept apart so that code which gives
// them its own IStreamInfo (tests, benchmarks) does not link the wave components.
#include "audio/AudioIO.h"
#include "measure/LevelMeter.h"
#include "measure/SineGenerator.h"

namespace {

class TAudioStreamInfo final : public IStreamInfo
{
public:
    explicit TAudioStreamInfo(const TAudioIO& device) : Device(device) {}
    bool Running() const override { return Device.Running(); }
    int FrameRate() const override { return Device.FrameRate(); }

private:
    const TAudioIO& Device;
};

} // namespace

TLevelMeter::TLevelMeter(TMeasurementState& state, const TAudioIO& input, TChartModel& chart,
                         IAcquisitionSink& sink, IMeterWindow& window, IClock& clock)
    : TLevelMeter(state, std::make_unique<TAudioStreamInfo>(input), nullptr, chart, sink, window, clock)
{
}

TSineGenerator::TSineGenerator(TMeasurementState& state, const TAudioIO& output)
    : TSineGenerator(state, std::make_unique<TAudioStreamInfo>(output), nullptr)
{
}

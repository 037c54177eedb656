#include "audio/unavcl_wave_pipes.h"

#include "audio/una_riff_stream.h"
#include "audio/una_wave_in_device.h"

TunavclWaveInDevice::TunavclWaveInDevice() {
    setDevice(std::make_unique<unaWaveInDevice>(sourceName_, overNum));
}

TunavclWaveInDevice::~TunavclWaveInDevice() = default;

void TunavclWaveInDevice::sourceName(const std::string& name) {
    if (name == sourceName_ || active()) return;
    sourceName_ = name;
    setDevice(std::make_unique<unaWaveInDevice>(sourceName_, overNum));
}

unaWaveInDevice* TunavclWaveInDevice::waveDevice() const {
    return static_cast<unaWaveInDevice*>(device());
}

TunavclWaveRiff::TunavclWaveRiff() {
    remakeDevice();
}

TunavclWaveRiff::~TunavclWaveRiff() = default;

void TunavclWaveRiff::isInput(bool value) {
    if (value == isInput_) return;
    active(false);
    isInput_ = value;
    remakeDevice();
}

void TunavclWaveRiff::fileName(const std::string& name) {
    if (name == fileName_) return;
    active(false);
    fileName_ = name;
    remakeDevice();
}

unaRiffStream* TunavclWaveRiff::riffDevice() const {
    return static_cast<unaRiffStream*>(device());
}

void TunavclWaveRiff::remakeDevice() {
    setDevice(std::make_unique<unaRiffStream>(fileName_, isInput_));
}

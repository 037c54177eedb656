// TunavclWaveInDevice and TunavclWaveRiff: the two pipes of the recording chain, the capture (on a
// PulseAudio source) feeding the WAV writer. Opening the capture opens the writer first (its file header is
// written before the first block arrives); closing the capture closes the writer first.
// Threads as for the wave pipes: user-interface thread for properties and activation.
#pragma once

#include <string>

#include "audio/unavcl_in_out_pipe.h"

class unaWaveInDevice;
class unaRiffStream;

class TunavclWaveInDevice : public unavclInOutWavePipe {
  public:
    TunavclWaveInDevice();
    ~TunavclWaveInDevice() override;

    // The PulseAudio source to record; empty (the default) records the default source, which the mixer
    // command points at the monitor of the default output ("Stereo Mix"). Takes effect while inactive.
    const std::string& sourceName() const { return sourceName_; }
    void sourceName(const std::string& name);

    unaWaveInDevice* waveDevice() const;

  private:
    std::string sourceName_;
};

class TunavclWaveRiff : public unavclInOutWavePipe {
  public:
    TunavclWaveRiff();
    ~TunavclWaveRiff() override;

    // true (after construction): the pipe would read fileName and takes no data; false: it writes fileName.
    bool isInput() const { return isInput_; }
    void isInput(bool value);
    // The WAV file. Changing it closes the pipe first.
    const std::string& fileName() const { return fileName_; }
    void fileName(const std::string& name);

    unaRiffStream* riffDevice() const;

  private:
    void remakeDevice();

    bool isInput_ = true;
    std::string fileName_;
};

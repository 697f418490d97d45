package velmora.chordsmith.engine;

import velmora.chordsmith.NativeInterface;

/** The engine in libchordsmith, driven through NativeInterface exactly as an application does. */
public final class NativeEngine implements Engine {
  /** Loads the library: throws UnsatisfiedLinkError when it cannot be found. */
  private final NativeInterface dsp = new NativeInterface();

  @Override
  public void init(int frameSize, int overSampling, int sampleRate, int channels) {
    dsp.dspInit(frameSize, overSampling, sampleRate, channels);
  }

  @Override
  public void setPreamp(float gain) { dsp.dspSetPreamp(gain); }

  @Override
  public void setPanning(boolean active, boolean mono, int level) {
    dsp.dspPanning(active ? 1 : 0, mono ? 1 : 0, level);
  }

  @Override
  public void setVoiceRemoval(double[] a, double[] b, float amount) {
    if (amount > 0) {
      // Loading coefficients also starts the filter from silence, so no history from an
      // earlier run leaks into this one.
      dsp.dspVoiceRemovalFilter(a, b, a.length, b.length);
      dsp.dspVoiceRemovalAmount(amount);
      dsp.dspVoiceRemovalEnable(1);
    } else {
      dsp.dspVoiceRemovalEnable(0);
      dsp.dspVoiceRemovalAmount(0f);
    }
  }

  @Override
  public void setVoiceAmount(float amount) { dsp.dspVoiceRemovalAmount(amount); }

  @Override
  public void setEqualiser(float[] gains) {
    if (gains != null) {
      dsp.dspEQSetBands(gains);
      dsp.dspEQEnable(1);
    } else {
      dsp.dspEQEnable(0);
    }
  }

  @Override
  public void enableSpectrum(boolean on) { dsp.dspSpectrumEnable(on ? 1 : 0); }

  @Override
  public void setStereoLink(boolean on) { dsp.dspStereoLink(on ? 1 : 0); }

  @Override
  public void process(short[] samples, int samplesIn, int samplesOut) {
    dsp.dspProcess(samples, samplesIn, samplesOut, 0f);
  }

  @Override
  public float maxLevel() { return dsp.dspGetMaxLevel(); }

  @Override
  public void spectrum(float[] bands) { dsp.dspGetSpectrum(bands, bands.length); }
}

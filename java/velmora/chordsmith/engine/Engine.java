package velmora.chordsmith.engine;

/**
 * The native engine as its Java callers drive it, one call per engine setting; NativeEngine is
 * the real one, tests stand in their own. The engine is process-wide and keeps its settings
 * between runs, so a run sets every one of them.
 */
public interface Engine {
  /** Frame size (a power of two up to 4096), frames per frame length, sample rate, channels. */
  void init(int frameSize, int overSampling, int sampleRate, int channels);

  /** Linear output gain. */
  void setPreamp(float gain);

  /** Balance level 0..100 (50 unchanged) or mono fold; both act only while {@code active}. */
  void setPanning(boolean active, boolean mono, int level);

  /**
   * Voice removal with the filter {@code a} (a[0] = 1), {@code b}; an amount of 0 switches it off.
   * Loading the filter starts it from silence.
   */
  void setVoiceRemoval(double[] a, double[] b, float amount);

  /**
   * Changes the amount of voice removal that is on, keeping the filter and its state: a player
   * moves the amount while the music runs without restarting the filter.
   */
  void setVoiceAmount(float amount);

  /** Per-bin linear gains, or null to switch the equaliser off. */
  void setEqualiser(float[] gains);

  void enableSpectrum(boolean on);

  /**
   * The stereo link: on, both channels are stretched together with their phases linked, which
   * keeps the stereo image and the mono sum; off, each channel on its own. No effect in mono.
   */
  void setStereoLink(boolean on);

  /** Stretches one block in place: {@code samplesIn} frames in, {@code samplesOut} frames back. */
  void process(short[] samples, int samplesIn, int samplesOut);

  /** Peak of the last block after the preamp, 1.0 = full scale. */
  float maxLevel();

  /** The 72 semitone band levels, C1 to B6. */
  void spectrum(float[] bands);
}

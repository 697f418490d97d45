package velmora.chordsmith.player;

/**
 * The gain that keeps the level steady when the speed changes while the engine plays.
 *
 * <p>The engine overlap-adds Hann-windowed frames (analysis and synthesis windows together make
 * Hann squared) and divides each block by the overlap it would have at the block's own output
 * hop: sum over n of hann(n)^2 = 3N/8, spread over stepOut frames. Right after a change, though,
 * the output still holds frames laid down at the old hop, so the true overlap is that of the old
 * hop: slowing from 1x to 0.5x plays half a frame 6 dB too loud, speeding up the other way 6 dB
 * too soft. The engine also starts its synthesis phases afresh at a change, so the frames laid
 * before and after the change add with unrelated phases: their amplitudes no longer add, their
 * powers do.
 *
 * <p>So for each block we add up, at every output frame it emits, the squared windows of the
 * frames that overlap there, separately for the frames laid since each phase restart (a
 * "track"), and take the power sum over the tracks: sqrt(sum over tracks of overlap^2). With one
 * track and a steady hop that is 3N / (8 stepOut), exactly what the engine divides by, and the
 * gain is 1. After a change it is the overlap really there, and the gain is the ratio. It changes
 * from one output frame to the next; the engine takes one preamp per block, so the player gives
 * it the block's mean (which keeps the limiter and the meter right) and applies what is left,
 * close to 1, to the block's samples, so that the gain has no step at a block boundary. Used by
 * the audio thread only.
 */
final class OverlapGain {
  private static final int FRAMES = 64;
  /** A change can never call for more than this, but a caller's mistake must not blast the ears. */
  private static final double MAX_GAIN = 8;

  private final int frameSize;
  private final double[] windowSquared;
  private final double steadySum;  // sum over n of hann(n)^2, 3N/8

  // Frames laid down: their output start and phase track, by frame number.
  private final long[] start = new long[FRAMES];
  private final int[] track = new int[FRAMES];
  private long frames;
  private long output;  // where the next frame will be laid
  private int tracks;
  private final double[] overlap;  // per track, scratch

  OverlapGain(int frameSize) {
    this.frameSize = frameSize;
    this.windowSquared = new double[frameSize];
    double sum = 0;
    for (int n = 0; n < frameSize; n++) {
      double w = 0.5 - 0.5 * Math.cos(2 * Math.PI * n / frameSize);
      windowSquared[n] = w * w;
      sum += w * w;
    }
    this.steadySum = sum;
    this.overlap = new double[FRAMES];
  }

  /** The engine starts again, as if frames at {@code hop} had always been laid with one track. */
  void restart(int hop) {
    frames = 0;
    tracks = 1;
    output = 0;
    for (long k = -(frameSize / hop + 1); k < 0; k++) lay(k * hop, 0);
  }

  /**
   * The gains for the block that lays the next frame and emits {@code stepOut} frames:
   * {@code gains[i]} for its output frame i. {@code phasesRestarted} when the engine restarts its
   * phases before this frame (its hop differs from the last one). Returns the block's mean gain.
   */
  double next(int stepOut, boolean phasesRestarted, double[] gains) {
    if (phasesRestarted) tracks++;
    lay(output, tracks - 1);
    double steady = steadySum / stepOut;
    double total = 0;
    for (int i = 0; i < stepOut; i++) {
      long o = output + i;
      int used = 0;
      for (long k = frames - 1; k >= Math.max(0, frames - FRAMES); k--) {
        int slot = (int) (k % FRAMES);
        long offset = o - start[slot];
        if (offset >= frameSize) break;  // frames are laid in order: the rest are older still
        int t = tracks - 1 - track[slot];
        if (t >= FRAMES) continue;
        if (t >= used) {
          for (int u = used; u <= t; u++) overlap[u] = 0;
          used = t + 1;
        }
        overlap[t] += windowSquared[(int) offset];
      }
      double power = 0;
      for (int u = 0; u < used; u++) power += overlap[u] * overlap[u];
      double present = Math.sqrt(power);
      gains[i] = present > steady / MAX_GAIN ? Math.min(MAX_GAIN, steady / present) : MAX_GAIN;
      total += gains[i];
    }
    output += stepOut;
    return total / stepOut;
  }

  private void lay(long at, int trackNumber) {
    int slot = (int) (frames++ % FRAMES);
    start[slot] = at;
    track[slot] = trackNumber;
  }
}

package velmora.chordsmith.audio;

/**
 * How a stereo signal holds together, measured over interleaved 16-bit frames as they pass:
 * <ul>
 *   <li>the correlation of left and right, sum(L R) / sqrt(sum(L^2) sum(R^2)): 1 for the same
 *       signal on both sides, 0 for unrelated ones, -1 for one side the negative of the other;
 *   <li>the mono-fold level, the level of (L + R) / 2 against the mean level of the two
 *       channels, in dB: 0 for the same signal on both sides, about -3 for unrelated ones of
 *       equal level, minus infinity for opposite ones. It is what a listener loses when the
 *       music is played in mono (a phone's speaker, one Bluetooth speaker).
 * </ul>
 * Both are taken over everything added, without removing a mean (audio has none worth the name);
 * NaN while a channel is silent.
 */
public final class StereoImage {
  private double leftPower;
  private double rightPower;
  private double cross;

  /** Adds {@code frames} interleaved stereo frames of {@code samples} from frame {@code fromFrame}. */
  public void add(short[] samples, int fromFrame, int frames) {
    for (int i = fromFrame; i < fromFrame + frames; i++) {
      double l = samples[2 * i];
      double r = samples[2 * i + 1];
      leftPower += l * l;
      rightPower += r * r;
      cross += l * r;
    }
  }

  /**
   * {@code in} (stereo) as it is, measuring into this image every frame read from it after its
   * first {@code from} frames.
   */
  public PcmSource measuring(PcmSource in, long from) {
    if (in.channels() != 2) throw new IllegalArgumentException("a stereo stream");
    return new PcmSource() {
      private long position;

      @Override public int channels() { return 2; }

      @Override public int sampleRate() { return in.sampleRate(); }

      @Override
      public int read(short[] into, int offset, int frames) throws FileException {
        int n = in.read(into, offset, frames);
        int before = (int) Math.max(0, Math.min(n, from - position));
        add(into, offset + before, n - before);
        position += n;
        return n;
      }

      @Override public void close() { in.close(); }
    };
  }

  /** The image of a whole stereo recording. */
  public static StereoImage of(Audio audio) {
    if (audio.channels != 2) throw new IllegalArgumentException("a stereo recording");
    StereoImage image = new StereoImage();
    image.add(audio.samples, 0, (int) audio.frames);
    return image;
  }

  public double correlation() {
    if (leftPower == 0 || rightPower == 0) return Double.NaN;
    return cross / Math.sqrt(leftPower * rightPower);
  }

  public double monoFoldDb() {
    if (leftPower == 0 || rightPower == 0) return Double.NaN;
    // ((L + R) / 2)^2 summed, against (L^2 + R^2) / 2 summed.
    double mid = Math.max(0, (leftPower + rightPower + 2 * cross) / 4);
    return 10 * Math.log10(mid / ((leftPower + rightPower) / 2));
  }
}

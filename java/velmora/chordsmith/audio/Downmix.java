package velmora.chordsmith.audio;

import java.util.Map;

/**
 * Folds a recording of three or more channels to stereo, with the usual coefficients of the
 * ITU-R BS.775 downmix: front left and right at full level on their own side, the centre at
 * -3 dB (a gain of √½) on both sides, each surround at -3 dB on its own side, a back centre at
 * -3 dB on both, and the low-frequency effects channel dropped.
 *
 * <p>Which channel is which comes from the WAVE channel mask (speaker bits in the file's channel
 * order), which FFmpeg writes for every layout and extensible WAV files carry. Without a mask,
 * the usual layout for the count is assumed: 3 = L R C, 4 = quad (L R, back L R), 5 = 5.0,
 * 6 = 5.1, 7 = 6.1, 8 = 7.1. Channels that no mask bit names (more channels than bits, or bits
 * past the defined speakers) go alternately to the left and the right at -3 dB, so that nothing
 * is lost silently.
 *
 * <p>Sums are in double, rounded to the nearest 16-bit value and held at full scale; how many
 * samples had to be held is counted, since a loud surround mix can exceed what stereo holds.
 */
final class Downmix {
  private static final double MINUS_3_DB = Math.sqrt(0.5);

  // WAVE speaker bits, in the order channels appear in a file.
  private static final int FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, FLC = 0x40,
      FRC = 0x80, BC = 0x100, SL = 0x200, SR = 0x400, TC = 0x800, TFL = 0x1000, TFC = 0x2000,
      TFR = 0x4000, TBL = 0x8000, TBC = 0x10000, TBR = 0x20000;

  /** The usual layout for a count of channels, where there is one. */
  private static final int[] USUAL_MASK = {
      0, FC, FL | FR, FL | FR | FC, FL | FR | BL | BR, FL | FR | FC | BL | BR, FL | FR | FC | LFE | BL | BR,
      FL | FR | FC | LFE | BC | SL | SR, FL | FR | FC | LFE | BL | BR | SL | SR};

  private static final Map<Integer, String> NAMES = Map.of(
      FL | FR | FC, "3.0", FL | FR | BL | BR, "quad", FL | FR | SL | SR, "quad", FL | FR | FC | BL | BR, "5.0",
      FL | FR | FC | SL | SR, "5.0", FL | FR | FC | LFE | BL | BR, "5.1", FL | FR | FC | LFE | SL | SR, "5.1",
      FL | FR | FC | LFE | BC | SL | SR, "6.1", FL | FR | FC | LFE | BL | BR | SL | SR, "7.1");

  private final int channels;
  /** Gains of each source channel into the left and the right: left[c], right[c]. */
  private final double[] left;
  private final double[] right;
  /** "5.1", "quad", "10 channels", ... */
  final String layout;
  private long clipped;

  private Downmix(int channels, double[] left, double[] right, String layout) {
    this.channels = channels;
    this.left = left;
    this.right = right;
    this.layout = layout;
  }

  /** The downmix of {@code channels} (three or more) laid out by {@code mask}, 0 if unknown. */
  static Downmix of(int channels, int mask) {
    if (mask == 0 && channels < USUAL_MASK.length) mask = USUAL_MASK[channels];
    double[] left = new double[channels];
    double[] right = new double[channels];
    int bits = mask;
    int unnamed = 0;
    for (int c = 0; c < channels; c++) {
      int speaker = Integer.lowestOneBit(bits);
      bits &= ~speaker;
      switch (speaker) {
        case FL -> left[c] = 1;
        case FR -> right[c] = 1;
        case FC, BC, TC, TFC, TBC -> left[c] = right[c] = MINUS_3_DB;
        case LFE -> { }  // dropped: its content is below 120 Hz and in the mains already
        case BL, SL, FLC, TFL, TBL -> left[c] = MINUS_3_DB;
        case BR, SR, FRC, TFR, TBR -> right[c] = MINUS_3_DB;
        default -> {
          if (unnamed++ % 2 == 0) {
            left[c] = MINUS_3_DB;
          } else {
            right[c] = MINUS_3_DB;
          }
        }
      }
    }
    String name = Integer.bitCount(mask) == channels ? NAMES.get(mask) : null;
    return new Downmix(channels, left, right, name != null ? name : channels + " channels");
  }

  /** Mixes {@code frames} frames of {@code from} (all channels) to stereo frames from {@code offset} on. */
  void apply(short[] from, int frames, short[] into, int offset) {
    for (int i = 0; i < frames; i++) {
      double l = 0;
      double r = 0;
      for (int c = 0; c < channels; c++) {
        double s = from[i * channels + c];
        l += left[c] * s;
        r += right[c] * s;
      }
      into[2 * (offset + i)] = hold(l);
      into[2 * (offset + i) + 1] = hold(r);
    }
  }

  private short hold(double v) {
    long s = Math.round(v);
    if (s > Short.MAX_VALUE || s < Short.MIN_VALUE) {
      clipped++;
      return s > 0 ? Short.MAX_VALUE : Short.MIN_VALUE;
    }
    return (short) s;
  }

  /** Samples held at full scale so far. */
  long clipped() { return clipped; }
}

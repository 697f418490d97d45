package velmora.chordsmith.tool;

import java.awt.image.BufferedImage;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import velmora.chordsmith.EngineFacts;

/**
 * The engine's 72 semitone bands over time as a picture: time runs left to right, pitch bottom
 * (C1) to top (B6), one row per semitone beside a small keyboard, brightness in dB. And the same
 * readings in a sentence: the strongest notes.
 *
 * <p>Levels are in dB relative to a full-scale sine ({@link EngineFacts#FULL_SCALE_READING}, on
 * readings brought to the output's level). The colour scale spans 60 dB
 * below the loudest reading, rounded up to a multiple of 6 dB, so quiet recordings stay visible;
 * the legend gives its ends.
 */
final class SpectrumPicture {
  static final double RANGE_DB = 60;
  static final int ROW = 5;
  /** One row per band. */
  static final int PLOT_HEIGHT = EngineFacts.BANDS * ROW;
  static final int SCALE = 2;
  static final int LEFT = 64;
  static final int TOP = 34;
  static final int BOTTOM = 40;
  static final int RIGHT = 120;
  static final int PIXELS_PER_SECOND = 40;
  static final int MIN_WIDTH = 400;
  static final int MAX_WIDTH = 1600;
  static final int TEXT = 0xdddddd;
  static final int BACKGROUND = 0x202024;

  /** Colour ramp from silence to full scale: black, blue, purple, orange, pale yellow. */
  private static final int[][] RAMP = {
      {0, 0, 0}, {24, 20, 96}, {128, 32, 140}, {236, 112, 40}, {255, 244, 190}};

  private SpectrumPicture() {}

  static int plotWidth(double seconds) {
    return (int) Math.max(MIN_WIDTH, Math.min(MAX_WIDTH, Math.round(seconds * PIXELS_PER_SECOND)));
  }

  static double decibels(float level) {
    return level > 0 ? 20 * Math.log10(level / EngineFacts.FULL_SCALE_READING) : Double.NEGATIVE_INFINITY;
  }

  /** A level from {@code top} - 60 dB (black) to {@code top} (pale yellow) onto the colour ramp. */
  static int colour(double db, double top) {
    double t = Math.max(0, Math.min(1, (db - top + RANGE_DB) / RANGE_DB)) * (RAMP.length - 1);
    int i = Math.min((int) t, RAMP.length - 2);
    double f = t - i;
    int rgb = 0;
    for (int c = 0; c < 3; c++) {
      rgb = rgb << 8 | (int) Math.round(RAMP[i][c] + f * (RAMP[i + 1][c] - RAMP[i][c]));
    }
    return rgb;
  }

  /**
   * Draws the readings a stretch recorded over an output of {@code seconds}; each pixel column
   * shows the reading nearest its time.
   */
  static BufferedImage render(SpectrumRecorder readings, double seconds, String title) {
    return render(readings.columns(), readings.times(), readings.loudest(), seconds, title);
  }

  /**
   * Draws the readings {@code columns}, taken at output times {@code times} (seconds, ascending),
   * scaled to the {@code loudest} reading of all.
   */
  static BufferedImage render(List<float[]> columns, List<Double> times, float loudest, double seconds,
                              String title) {
    int plotWidth = plotWidth(seconds);
    int width = LEFT + plotWidth + RIGHT;
    int height = TOP + PLOT_HEIGHT + BOTTOM;
    BufferedImage image = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
    fill(image, 0, 0, width, height, BACKGROUND);
    PixelFont.draw(image, title, LEFT, 10, SCALE, TEXT);
    double top = topOfScale(loudest);
    plot(image, columns, times, seconds, plotWidth, top);
    keyboard(image, plotWidth);  // after the plot: its lines under every C lie over it
    timeAxis(image, seconds, plotWidth);
    legend(image, plotWidth, top);
    return image;
  }

  /** The readings, one pixel column at a time, coloured against the scale's {@code top}. */
  private static void plot(BufferedImage image, List<float[]> columns, List<Double> times, double seconds,
                           int plotWidth, double top) {
    int next = 0;
    for (int x = 0; x < plotWidth; x++) {
      double t = (x + 0.5) * seconds / plotWidth;
      while (next + 1 < times.size() && Math.abs(times.get(next + 1) - t) <= Math.abs(times.get(next) - t)) {
        next++;
      }
      float[] bands = columns.isEmpty() ? new float[EngineFacts.BANDS] : columns.get(next);
      for (int band = 0; band < EngineFacts.BANDS; band++) {
        int rgb = colour(decibels(bands[band]), top);
        fill(image, LEFT + x, rowTop(band), 1, ROW, rgb);
      }
    }
  }

  /** The keyboard left of the plot, octave labels and a faint line under every C. */
  private static void keyboard(BufferedImage image, int plotWidth) {
    for (int band = 0; band < EngineFacts.BANDS; band++) {
      boolean black = EngineFacts.noteName(band).contains("#");
      fill(image, LEFT - 14, rowTop(band), 12, ROW, black ? 0x111111 : 0xeeeeee);
      if (band % 12 == 0) {
        int y = rowTop(band) + ROW - 1;
        fill(image, LEFT - 14, y, 12, 1, 0x888888);
        for (int x = LEFT; x < LEFT + plotWidth; x++) {
          image.setRGB(x, y, blend(image.getRGB(x, y), 0xffffff, 0.18));
        }
        String label = EngineFacts.noteName(band);
        int labelX = LEFT - 18 - PixelFont.width(label, SCALE);
        PixelFont.draw(image, label, labelX, y - PixelFont.HEIGHT * SCALE / 2, SCALE, TEXT);
      }
    }
  }

  /** Ticks under the plot, labelled in minutes and seconds. */
  private static void timeAxis(BufferedImage image, double seconds, int plotWidth) {
    double step = tickStep(seconds, plotWidth);
    int axisY = TOP + PLOT_HEIGHT;
    for (int k = 0; k * step <= seconds + 1e-9; k++) {
      int x = LEFT + (int) Math.round(k * step / seconds * plotWidth);
      fill(image, x, axisY, 1, 5, TEXT);
      String label = clock(k * step);
      int labelWidth = PixelFont.width(label, SCALE);
      int lx = Math.min(x - labelWidth / 2, image.getWidth() - labelWidth - 2);
      PixelFont.draw(image, label, lx, axisY + 9, SCALE, TEXT);
    }
  }

  /** The colour ramp right of the plot, with the dB at its ends. */
  private static void legend(BufferedImage image, int plotWidth, double top) {
    int legendX = LEFT + plotWidth + 16;
    for (int y = 0; y < PLOT_HEIGHT; y++) {
      fill(image, legendX, TOP + y, 12, 1, colour(top - RANGE_DB * y / (PLOT_HEIGHT - 1), top));
    }
    PixelFont.draw(image, (int) top + " DB", legendX + 18, TOP, SCALE, TEXT);
    int bottomLabelY = TOP + PLOT_HEIGHT - PixelFont.HEIGHT * SCALE;
    PixelFont.draw(image, (int) (top - RANGE_DB) + " DB", legendX + 18, bottomLabelY, SCALE, TEXT);
  }

  /** The loudest reading in dB, rounded up to a multiple of 6; 0 dB for silence. */
  static double topOfScale(float loudest) {
    return loudest > 0 ? 6 * Math.ceil(decibels(loudest) / 6) : 0;
  }

  static int rowTop(int band) { return TOP + (EngineFacts.BANDS - 1 - band) * ROW; }

  /** A tick spacing that leaves at least 70 pixels between labels. */
  static double tickStep(double seconds, int plotWidth) {
    double[] steps = {0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};
    for (double s : steps) {
      if (s / Math.max(seconds, 1e-9) * plotWidth >= 70) return s;
    }
    return steps[steps.length - 1];
  }

  static String clock(double seconds) {
    long tenths = Math.round(seconds * 10);
    String s = String.format(Locale.ROOT, "%d:%02d", tenths / 600, tenths / 10 % 60);
    return tenths % 10 == 0 ? s : s + "." + tenths % 10;
  }

  private static void fill(BufferedImage image, int x, int y, int w, int h, int rgb) {
    for (int j = y; j < y + h; j++) {
      for (int i = x; i < x + w; i++) image.setRGB(i, j, rgb);
    }
  }

  private static int blend(int rgb, int over, double alpha) {
    int out = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
      int a = rgb >> shift & 0xff;
      int b = over >> shift & 0xff;
      out = out << 8 | (int) Math.round(a + alpha * (b - a));
    }
    return out;
  }

  /**
   * The bands with the highest mean level over the output, strongest first, at most {@code n}
   * and none more than 30 dB below the strongest: "A4 (440 Hz) -12 dB".
   */
  static List<String> strongestNotes(SpectrumRecorder readings, int n) {
    return strongestNotes(readings.sums(), readings.summed(), n);
  }

  /** The same from each band's sum over {@code count} readings. */
  static List<String> strongestNotes(double[] sums, int count, int n) {
    double[] mean = sums;
    List<String> notes = new ArrayList<>();
    if (count == 0) return notes;
    boolean[] taken = new boolean[EngineFacts.BANDS];
    double strongest = 0;
    for (int k = 0; k < n; k++) {
      int best = -1;
      for (int band = 0; band < EngineFacts.BANDS; band++) {
        if (!taken[band] && (best < 0 || mean[band] > mean[best])) best = band;
      }
      double level = mean[best] / count;
      if (k == 0) strongest = level;
      if (!(level > 0) || level < strongest / 31.6) break;
      taken[best] = true;
      notes.add(String.format(Locale.ROOT, "%s (%.0f Hz) %.0f dB", EngineFacts.noteName(best),
          EngineFacts.bandHz(best), decibels((float) level)));
    }
    return notes;
  }
}

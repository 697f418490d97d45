package velmora.chordsmith.tool;

import java.io.PrintStream;
import java.util.Locale;
import java.util.function.LongSupplier;
import velmora.chordsmith.engine.StretchJob;

/**
 * A one-line progress bar on standard error, redrawn in place with a carriage return: the share
 * done and, once a second has passed, the time left at the pace so far. Redrawn when the whole
 * percentage changes or a second has passed, so a long file does not flood a slow terminal.
 * When the length is not known in advance (standard input, some compressed files), it counts
 * the input's time instead.
 */
final class ProgressBar implements StretchJob.Progress {
  static final int WIDTH = 30;
  private static final long SECOND = 1_000_000_000L;

  private final PrintStream err;
  private final String label;
  /** Frames to do, or 0 when unknown. */
  private final long total;
  private final double framesPerSecond;
  private final boolean enabled;
  private final LongSupplier clock;
  private final long started;
  private int shownPercent = -1;
  private long shownAt;
  private boolean shown;

  /** {@code total} frames at {@code framesPerSecond} (0 when unknown); {@code clock} in nanoseconds. */
  ProgressBar(PrintStream err, String label, long total, double framesPerSecond, boolean enabled,
              LongSupplier clock) {
    this.err = err;
    this.label = label;
    this.total = Math.max(0, total);
    this.framesPerSecond = framesPerSecond;
    this.enabled = enabled;
    this.clock = clock;
    this.started = clock.getAsLong();
  }

  @Override
  public void update(long done) {
    if (!enabled) return;
    long now = clock.getAsLong();
    long elapsed = now - started;
    if (total > 0) {
      int percent = (int) (100 * Math.min(done, total) / total);
      if (percent == shownPercent && now - shownAt < SECOND) return;
      shownPercent = percent;
      double left = elapsed >= SECOND && done > 0 ? (double) elapsed / SECOND * (total - done) / done : Double.NaN;
      draw(render(label, percent, left), now);
    } else if (!shown || now - shownAt >= SECOND) {
      String read = SpectrumPicture.clock(done / framesPerSecond);
      draw(String.format(Locale.ROOT, "%s %s of the input", label, read), now);
    }
  }

  private void draw(String line, long now) {
    err.print("\r" + line + "\u001b[K");  // the escape clears what a longer line left
    err.flush();
    shownAt = now;
    shown = true;
  }

  /** Ends the line once the work is done (or abandoned). */
  void finish() {
    if (shown) err.println();
    shown = false;
    shownPercent = -1;
  }

  /** "Label [####------]  40%  0:12 left"; no time when {@code secondsLeft} is NaN. */
  static String render(String label, int percent, double secondsLeft) {
    int filled = percent * WIDTH / 100;
    String bar = String.format(Locale.ROOT, "%s [%s%s] %3d%%", label, "#".repeat(filled),
        "-".repeat(WIDTH - filled), percent);
    return Double.isNaN(secondsLeft) ? bar : bar + "  " + SpectrumPicture.clock(Math.ceil(secondsLeft)) + " left";
  }
}

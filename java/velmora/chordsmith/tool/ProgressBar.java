package velmora.chordsmith.tool;

import java.io.PrintStream;
import velmora.chordsmith.engine.Stretcher;

/**
 * A one-line progress bar on standard error, redrawn in place with a carriage return whenever the
 * whole percentage changes (at most a hundred redraws, however long the file).
 */
final class ProgressBar implements Stretcher.Progress {
  static final int WIDTH = 30;

  private final PrintStream err;
  private final String label;
  private final long total;
  private final boolean enabled;
  private int shownPercent = -1;

  ProgressBar(PrintStream err, String label, long total, boolean enabled) {
    this.err = err;
    this.label = label;
    this.total = Math.max(1, total);
    this.enabled = enabled;
  }

  @Override
  public void update(long done) {
    if (!enabled) return;
    int percent = (int) (100 * Math.min(done, total) / total);
    if (percent == shownPercent) return;
    shownPercent = percent;
    err.print("\r" + render(label, percent));
    err.flush();
  }

  /** Ends the line once the work is done (or abandoned). */
  void finish() {
    if (enabled && shownPercent >= 0) err.println();
    shownPercent = -1;
  }

  static String render(String label, int percent) {
    int filled = percent * WIDTH / 100;
    return String.format("%s [%s%s] %3d%%", label, "#".repeat(filled), "-".repeat(WIDTH - filled), percent);
  }
}

package velmora.chordsmith.player;

import java.awt.Color;
import java.awt.Dimension;
import java.awt.Graphics;
import java.awt.Graphics2D;
import java.util.ArrayList;
import java.util.List;
import javax.swing.JComponent;
import velmora.chordsmith.EngineFacts;

/**
 * The engine's 72 semitone bands, C1 to B6, as bars standing on a keyboard: each bar sits on its
 * own key, so a chord shows as the keys that light up. Levels in dB against a full-scale sine,
 * rising at once and falling slowly, as a level display does; the strongest notes are named.
 */
@SuppressWarnings("serial")  // never serialised
final class SpectrumView extends JComponent {
  static final double FLOOR_DB = -60;
  static final double TOP_DB = -6;
  private static final double FALL_DB = 0.9;  // per update, at about 30 updates a second
  private static final int KEYS = 46;  // keyboard height
  private static final int LABEL = 20;  // room above the bars for the names of the strongest notes
  /** A note is named when it stands out: within this of the loudest band and above the floor. */
  private static final double NAMED_RANGE_DB = 24;
  private static final double NAMED_FLOOR_DB = -50;
  private static final int NAMED = 4;

  private final double[] shown = new double[EngineFacts.BANDS];
  private List<Integer> strongest = List.of();

  SpectrumView() {
    setPreferredSize(new Dimension(800, 250));
    setOpaque(true);
    java.util.Arrays.fill(shown, FLOOR_DB);
  }

  /** New readings, scaled so that a full-scale sine reads {@link EngineFacts#FULL_SCALE_READING}. */
  void update(float[] bands) {
    for (int b = 0; b < shown.length; b++) {
      double db = 20 * Math.log10(Math.max(1e-9, bands[b] / EngineFacts.FULL_SCALE_READING));
      shown[b] = Math.max(FLOOR_DB, Math.max(db, shown[b] - FALL_DB));
    }
    strongest = strongest(shown);
    repaint();
  }

  /** The names of the strongest notes now, loudest first: "E4", "C5", ... */
  List<String> strongestNames() {
    List<String> names = new ArrayList<>();
    for (int b : strongest) names.add(EngineFacts.noteName(b));
    return names;
  }

  /**
   * Bands that are peaks (louder than both neighbours), within {@link #NAMED_RANGE_DB} of the
   * loudest and above {@link #NAMED_FLOOR_DB}, loudest first, at most {@link #NAMED}.
   */
  static List<Integer> strongest(double[] db) {
    double top = FLOOR_DB;
    for (double d : db) top = Math.max(top, d);
    List<Integer> peaks = new ArrayList<>();
    for (int b = 0; b < db.length; b++) {
      boolean peak = (b == 0 || db[b] > db[b - 1]) && (b == db.length - 1 || db[b] >= db[b + 1]);
      if (peak && db[b] > NAMED_FLOOR_DB && db[b] >= top - NAMED_RANGE_DB) peaks.add(b);
    }
    peaks.sort((x, y) -> Double.compare(db[y], db[x]));
    return peaks.subList(0, Math.min(NAMED, peaks.size()));
  }

  // Where band b lies on a keyboard drawn with every semitone equally wide: a white key covers
  // its own semitone and half of each black neighbour, so black keys sit exactly on their bars.
  private static boolean black(int band) {
    int n = band % 12;
    return n == 1 || n == 3 || n == 6 || n == 8 || n == 10;
  }

  @Override
  protected void paintComponent(Graphics g0) {
    Graphics2D g = Theme.smooth(g0);
    int w = getWidth();
    int h = getHeight();
    g.setColor(Theme.PANEL);
    g.fillRect(0, 0, w, h);
    double cell = (double) w / EngineFacts.BANDS;
    int barsTop = LABEL;
    int barsBottom = h - KEYS - 2;
    int barsHeight = barsBottom - barsTop;

    g.setFont(Theme.SMALL);
    for (int db = -12; db > FLOOR_DB; db -= 12) {
      int y = barsBottom - (int) Math.round((db - FLOOR_DB) / (TOP_DB - FLOOR_DB) * barsHeight);
      g.setColor(Theme.GRID);
      g.drawLine(0, y, w, y);
      g.setColor(Theme.MUTED);
      String label = db + " dB";
      g.drawString(label, w - g.getFontMetrics().stringWidth(label) - 4, y - 3);
    }

    for (int b = 0; b < EngineFacts.BANDS; b++) {
      double level = (shown[b] - FLOOR_DB) / (TOP_DB - FLOOR_DB);
      if (level <= 0) continue;
      int x0 = (int) Math.round(b * cell) + 1;
      int x1 = (int) Math.round((b + 1) * cell) - 1;
      int y = barsBottom - (int) Math.round(Math.min(1, level) * barsHeight);
      g.setColor(barColour(level));
      g.fillRect(x0, y, Math.max(1, x1 - x0), barsBottom - y);
    }

    for (int b : strongest) {
      String name = EngineFacts.noteName(b);
      double level = Math.min(1, (shown[b] - FLOOR_DB) / (TOP_DB - FLOOR_DB));
      int y = barsBottom - (int) Math.round(level * barsHeight) - 4;
      int cx = (int) Math.round((b + 0.5) * cell);
      g.setFont(Theme.BOLD);
      int tw = g.getFontMetrics().stringWidth(name);
      int tx = Math.max(2, Math.min(w - tw - 2, cx - tw / 2));
      int ty = Math.max(14, y);
      g.setColor(new Color(0, 0, 0, 140));
      g.fillRoundRect(tx - 3, ty - 13, tw + 6, 16, 6, 6);
      g.setColor(Theme.TEXT);
      g.drawString(name, tx, ty);
    }

    drawKeyboard(g, w, h - KEYS, cell);
  }

  private static Color barColour(double level) {
    if (level > 0.8) return Theme.HOT;
    double t = Math.max(0, Math.min(1, level / 0.8));
    Color a = Theme.ACCENT_DIM;
    Color b = Theme.ACCENT;
    return new Color((int) (a.getRed() + t * (b.getRed() - a.getRed())),
        (int) (a.getGreen() + t * (b.getGreen() - a.getGreen())),
        (int) (a.getBlue() + t * (b.getBlue() - a.getBlue())));
  }

  private void drawKeyboard(Graphics2D g, int w, int top, double cell) {
    g.setColor(Theme.BACKGROUND);
    g.fillRect(0, top, w, KEYS);
    g.setFont(Theme.SMALL);
    // White keys first, each over its semitone and half of each black neighbour.
    for (int b = 0; b < EngineFacts.BANDS; b++) {
      if (black(b)) continue;
      double left = b * cell - (b > 0 && black(b - 1) ? cell / 2 : 0);
      double right = (b + 1) * cell + (b < EngineFacts.BANDS - 1 && black(b + 1) ? cell / 2 : 0);
      int x0 = (int) Math.round(left);
      int x1 = (int) Math.round(right);
      boolean lit = strongest.contains(b);
      g.setColor(lit ? Theme.ACCENT : new Color(0xe9edf2));
      g.fillRoundRect(x0 + 1, top + 1, x1 - x0 - 2, KEYS - 2, 4, 4);
      if (b % 12 == 0) {
        g.setColor(new Color(0x555d6a));
        String name = EngineFacts.noteName(b);
        g.drawString(name, x0 + 3, top + KEYS - 5);
      }
    }
    for (int b = 0; b < EngineFacts.BANDS; b++) {
      if (!black(b)) continue;
      int x0 = (int) Math.round(b * cell);
      int x1 = (int) Math.round((b + 1) * cell);
      g.setColor(strongest.contains(b) ? Theme.ACCENT_DIM : new Color(0x15181c));
      g.fillRoundRect(x0, top, x1 - x0, (int) (KEYS * 0.6), 3, 3);
    }
  }
}

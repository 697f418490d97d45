package velmora.chordsmith.player;

import java.awt.Color;
import java.awt.Dimension;
import java.awt.Graphics;
import java.awt.Graphics2D;
import java.awt.event.MouseAdapter;
import java.awt.event.MouseEvent;
import javax.swing.JComponent;

/**
 * The output's peak level in dBFS, from -48 to +6: green, amber above -12, red above -3, a
 * hold line at the latest high peak, and a clip light that comes on when a peak went above full
 * scale (the engine's limiter had to hold it) and stays on until clicked.
 */
@SuppressWarnings("serial")  // never serialised
final class LevelMeter extends JComponent {
  static final double FLOOR_DB = -48;
  static final double TOP_DB = 6;
  private static final double FALL_DB = 0.7;  // per update
  private static final int HOLD_UPDATES = 45;
  private static final int LIGHT = 22;

  private double shown = FLOOR_DB;
  private double hold = FLOOR_DB;
  private int holdAge;
  private boolean clipped;

  LevelMeter() {
    setPreferredSize(new Dimension(58, 250));
    setToolTipText("Peak level of the output; the light shows the limiter had to hold a peak (click: reset)");
    addMouseListener(new MouseAdapter() {
      @Override public void mousePressed(MouseEvent e) {
        clipped = false;
        repaint();
      }
    });
  }

  /** The loudest peak since the last update, linear (1.0 = full scale). */
  void update(float peak) {
    double db = 20 * Math.log10(Math.max(1e-9, peak));
    shown = Math.max(FLOOR_DB, Math.max(db, shown - FALL_DB));
    if (db >= hold || ++holdAge > HOLD_UPDATES) {
      hold = Math.max(FLOOR_DB, db);
      holdAge = 0;
    }
    if (peak > 1.0f) clipped = true;
    repaint();
  }

  boolean clipped() { return clipped; }

  private int yOf(double db, int top, int height) {
    double t = (Math.max(FLOOR_DB, Math.min(TOP_DB, db)) - FLOOR_DB) / (TOP_DB - FLOOR_DB);
    return top + height - (int) Math.round(t * height);
  }

  @Override
  protected void paintComponent(Graphics g0) {
    Graphics2D g = Theme.smooth(g0);
    int w = getWidth();
    int h = getHeight();
    g.setColor(Theme.PANEL);
    g.fillRect(0, 0, w, h);

    g.setColor(clipped ? Theme.CLIP : Theme.RAISED);
    g.fillRoundRect(4, 4, w - 8, LIGHT - 4, 6, 6);
    g.setFont(Theme.SMALL);
    g.setColor(clipped ? Color.WHITE : Theme.MUTED);
    g.drawString("CLIP", w / 2 - g.getFontMetrics().stringWidth("CLIP") / 2, 17);

    int top = LIGHT + 8;
    int height = h - top - 8;
    int barX = 6;
    int barW = 16;
    g.setColor(Theme.BACKGROUND);
    g.fillRect(barX, top, barW, height);
    int yLevel = yOf(shown, top, height);
    fillSpan(g, barX, barW, yLevel, top + height, FLOOR_DB, -12, new Color(0x4caf50), top, height);
    fillSpan(g, barX, barW, yLevel, top + height, -12, -3, Theme.HOT, top, height);
    fillSpan(g, barX, barW, yLevel, top + height, -3, TOP_DB, Theme.CLIP, top, height);
    if (hold > FLOOR_DB) {
      g.setColor(Theme.TEXT);
      int yh = yOf(hold, top, height);
      g.drawLine(barX, yh, barX + barW - 1, yh);
    }
    g.setColor(Theme.MUTED);
    for (int db = 0; db >= FLOOR_DB; db -= 6) {
      int y = yOf(db, top, height);
      g.drawLine(barX + barW + 2, y, barX + barW + 5, y);
      if (db % 12 == 0) g.drawString(Integer.toString(db), barX + barW + 8, y + 4);
    }
  }

  private void fillSpan(Graphics2D g, int x, int w, int yLevel, int bottom, double fromDb, double toDb,
                        Color c, int top, int height) {
    int y0 = Math.max(yLevel, yOf(toDb, top, height));
    int y1 = Math.min(bottom, yOf(fromDb, top, height));
    if (y1 <= y0) return;
    g.setColor(c);
    g.fillRect(x, y0, w, y1 - y0);
  }
}

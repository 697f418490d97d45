package velmora.chordsmith.player;

import java.awt.BasicStroke;
import java.awt.Color;
import java.awt.Cursor;
import java.awt.Dimension;
import java.awt.Graphics;
import java.awt.Graphics2D;
import java.awt.event.MouseAdapter;
import java.awt.event.MouseEvent;
import javax.swing.JComponent;
import velmora.chordsmith.audio.Audio;

/**
 * The whole recording at a glance: its level over time, the part already played, the A-B loop
 * and the playhead, over a time ruler. A click moves the playhead there; a drag marks a loop and
 * starts it; dragging an existing A or B mark moves it.
 */
@SuppressWarnings("serial")  // never serialised
final class WaveformView extends JComponent {
  private static final int BUCKETS = 4000;
  private static final int RULER = 18;
  private static final int GRAB = 6;  // pixels either side of a mark that pick it up

  /** Told what the listener did with the mouse, in input frames. */
  interface Listener {
    void seek(long frame);

    void loop(long a, long b);
  }

  private final Listener listener;
  private float[] peak = new float[0];
  private float[] rms = new float[0];
  private long frames;
  private int rate = 44100;
  private double position;
  private Loop loop = Loop.EMPTY;
  private boolean loopPlays;

  // The mouse: where a press began, what it is dragging, and where the pointer is.
  private int pressX = -1;
  private int dragX = -1;
  private char dragging;  // 'A' or 'B' while moving a mark, 'N' for a new loop, 0 otherwise
  private int hoverX = -1;

  WaveformView(Listener listener) {
    this.listener = listener;
    setPreferredSize(new Dimension(900, 150));
    setOpaque(true);
    MouseAdapter mouse = new MouseAdapter() {
      @Override public void mousePressed(MouseEvent e) { press(e.getX()); }
      @Override public void mouseDragged(MouseEvent e) { drag(e.getX()); }
      @Override public void mouseReleased(MouseEvent e) { release(e.getX()); }
      @Override public void mouseMoved(MouseEvent e) { hover(e.getX()); }
      @Override public void mouseExited(MouseEvent e) { hover(-1); }
    };
    addMouseListener(mouse);
    addMouseMotionListener(mouse);
  }

  /**
   * A recording's level at a glance: per bucket of time, the peak and the RMS level over both
   * channels, 0..1. Computed once per recording, off the window's thread.
   */
  record Overview(float[] peak, float[] rms, long frames, int rate) {
    static Overview of(Audio audio) {
      int buckets = (int) Math.max(1, Math.min(BUCKETS, audio.frames));
      float[] p = new float[buckets];
      float[] r = new float[buckets];
      int ch = audio.channels;
      for (int b = 0; b < buckets; b++) {
        long from = audio.frames * b / buckets;
        long to = audio.frames * (b + 1) / buckets;
        double max = 0;
        double sum = 0;
        for (long f = from; f < to; f++) {
          for (int c = 0; c < ch; c++) {
            double v = audio.samples[(int) (f * ch + c)] / 32768.0;
            max = Math.max(max, Math.abs(v));
            sum += v * v;
          }
        }
        p[b] = (float) max;
        r[b] = (float) Math.sqrt(sum / Math.max(1, (to - from) * ch));
      }
      return new Overview(p, r, audio.frames, audio.sampleRate);
    }
  }

  /** Shows the recording {@code overview} describes. */
  void setRecording(Overview overview) {
    frames = overview.frames();
    rate = overview.rate();
    peak = overview.peak();
    rms = overview.rms();
    position = 0;
    loop = Loop.EMPTY;
    repaint();
  }

  /** The playhead and the loop as the player has them now. */
  void show(double newPosition, Loop newLoop) {
    if (newPosition != position || !newLoop.equals(loop)) {
      position = newPosition;
      loop = newLoop;
      loopPlays = newLoop.plays(rate);
      repaint();
    }
  }

  private double frameAt(int x) {
    int w = Math.max(1, getWidth() - 1);
    return Math.max(0, Math.min(1, (double) x / w)) * frames;
  }

  private int xOf(double frame) {
    return frames == 0 ? 0 : (int) Math.round(frame / frames * (getWidth() - 1));
  }

  private void press(int x) {
    pressX = x;
    dragX = x;
    dragging = 0;
    if (loop.a() != Loop.NONE && Math.abs(x - xOf(loop.a())) <= GRAB) dragging = 'A';
    else if (loop.b() != Loop.NONE && Math.abs(x - xOf(loop.b())) <= GRAB) dragging = 'B';
  }

  private void drag(int x) {
    if (pressX < 0) return;
    dragX = x;
    if (dragging == 0 && Math.abs(x - pressX) > 3) dragging = 'N';
    hoverX = x;
    repaint();
  }

  private void release(int x) {
    if (pressX < 0) return;
    long at = Math.round(frameAt(x));
    switch (dragging) {
      case 'N' -> listener.loop(Math.round(frameAt(pressX)), at);
      case 'A' -> listener.loop(at, loop.b() == Loop.NONE ? frames : loop.b());
      case 'B' -> listener.loop(loop.a() == Loop.NONE ? 0 : loop.a(), at);
      default -> listener.seek(at);
    }
    pressX = -1;
    dragging = 0;
    repaint();
  }

  private void hover(int x) {
    hoverX = x;
    boolean onMark = x >= 0 && ((loop.a() != Loop.NONE && Math.abs(x - xOf(loop.a())) <= GRAB)
        || (loop.b() != Loop.NONE && Math.abs(x - xOf(loop.b())) <= GRAB));
    setCursor(Cursor.getPredefinedCursor(onMark ? Cursor.E_RESIZE_CURSOR : Cursor.HAND_CURSOR));
    repaint();
  }

  @Override
  protected void paintComponent(Graphics g0) {
    Graphics2D g = Theme.smooth(g0);
    int w = getWidth();
    int h = getHeight() - RULER;
    g.setColor(Theme.PANEL);
    g.fillRect(0, 0, w, getHeight());
    int mid = h / 2;
    g.setColor(Theme.GRID);
    g.drawLine(0, mid, w, mid);

    // The loop as it stands, or as it is being dragged.
    long la = loop.a();
    long lb = loop.b();
    if (dragging == 'N') {
      la = Math.round(frameAt(Math.min(pressX, dragX)));
      lb = Math.round(frameAt(Math.max(pressX, dragX)));
    } else if (dragging == 'A') {
      la = Math.round(frameAt(dragX));
    } else if (dragging == 'B') {
      lb = Math.round(frameAt(dragX));
    }
    boolean showLoop = la != Loop.NONE && lb != Loop.NONE;
    if (showLoop) {
      g.setColor(new Color(Theme.LOOP.getRed(), Theme.LOOP.getGreen(), Theme.LOOP.getBlue(),
          loopPlays || dragging != 0 ? 46 : 22));
      g.fillRect(xOf(Math.min(la, lb)), 0, Math.abs(xOf(lb) - xOf(la)), h);
    }

    int playX = xOf(position);
    if (peak.length > 0) {
      for (int x = 0; x < w; x++) {
        int b0 = (int) ((long) x * peak.length / w);
        int b1 = Math.max(b0 + 1, (int) ((long) (x + 1) * peak.length / w));
        float p = 0;
        float r = 0;
        for (int b = b0; b < b1 && b < peak.length; b++) {
          p = Math.max(p, peak[b]);
          r = Math.max(r, rms[b]);
        }
        int ph = Math.round(p * (mid - 4));
        int rh = Math.round(r * (mid - 4));
        boolean played = x <= playX;
        g.setColor(played ? Theme.WAVE_PLAYED.darker() : Theme.WAVE.darker().darker());
        g.drawLine(x, mid - ph, x, mid + ph);
        g.setColor(played ? Theme.WAVE_PLAYED : Theme.WAVE);
        g.drawLine(x, mid - rh, x, mid + rh);
      }
    }

    g.setFont(Theme.SMALL);
    if (showLoop) {
      g.setStroke(new BasicStroke(1.5f));
      drawMark(g, xOf(la), h, "A");
      drawMark(g, xOf(lb), h, "B");
    } else if (la != Loop.NONE) {
      drawMark(g, xOf(la), h, "A");
    } else if (lb != Loop.NONE) {
      drawMark(g, xOf(lb), h, "B");
    }

    g.setStroke(new BasicStroke(2f));
    g.setColor(Color.WHITE);
    g.drawLine(playX, 0, playX, h);

    drawRuler(g, w, h);
    if (hoverX >= 0 && frames > 0) {
      String t = Theme.time(frameAt(hoverX) / rate);
      int tw = g.getFontMetrics().stringWidth(t);
      int tx = Math.min(w - tw - 6, hoverX + 6);
      g.setColor(Theme.RAISED);
      g.fillRoundRect(tx - 3, 3, tw + 6, 15, 6, 6);
      g.setColor(Theme.TEXT);
      g.drawString(t, tx, 15);
    }
  }

  private void drawMark(Graphics2D g, int x, int h, String name) {
    g.setColor(Theme.LOOP);
    g.drawLine(x, 0, x, h);
    g.fillRoundRect(x - 7, 0, 14, 14, 5, 5);
    g.setColor(Theme.BACKGROUND);
    g.drawString(name, x - g.getFontMetrics().stringWidth(name) / 2, 11);
  }

  private void drawRuler(Graphics2D g, int w, int h) {
    g.setColor(Theme.BACKGROUND);
    g.fillRect(0, h, w, RULER);
    if (frames == 0) return;
    double seconds = (double) frames / rate;
    double[] steps = {0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600};
    double step = steps[steps.length - 1];
    for (double s : steps) {
      if (s * w / seconds >= 60) {
        step = s;
        break;
      }
    }
    g.setFont(Theme.SMALL);
    for (double t = 0; t <= seconds; t += step) {
      int x = xOf(t * rate);
      g.setColor(Theme.GRID);
      g.drawLine(x, h, x, h + 4);
      g.setColor(Theme.MUTED);
      String label = step < 1 ? Theme.time(t) : Theme.time(t).replaceAll("\\.\\d$", "");
      g.drawString(label, Math.min(x + 3, w - g.getFontMetrics().stringWidth(label) - 2), h + 14);
    }
  }
}

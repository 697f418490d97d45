package velmora.chordsmith.player;

import java.awt.Color;
import java.awt.Font;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import javax.swing.UIManager;
import javax.swing.plaf.nimbus.NimbusLookAndFeel;

/** The player's colours and fonts: a dark, flat look on the JDK's Nimbus. */
final class Theme {
  static final Color BACKGROUND = new Color(0x1b1e23);
  static final Color PANEL = new Color(0x23272e);
  static final Color RAISED = new Color(0x2c313a);
  static final Color GRID = new Color(0x3a404b);
  static final Color TEXT = new Color(0xdde3ea);
  static final Color MUTED = new Color(0x8e98a5);
  static final Color ACCENT = new Color(0x38c6b0);
  static final Color ACCENT_DIM = new Color(0x1f6f66);
  static final Color WAVE = new Color(0x5d8fd8);
  static final Color WAVE_PLAYED = new Color(0x8ec5ff);
  static final Color LOOP = new Color(0xf2b544);
  static final Color HOT = new Color(0xf0c948);
  static final Color CLIP = new Color(0xef5350);

  static final Font UI = new Font(Font.SANS_SERIF, Font.PLAIN, 13);
  static final Font SMALL = new Font(Font.SANS_SERIF, Font.PLAIN, 11);
  static final Font BOLD = new Font(Font.SANS_SERIF, Font.BOLD, 13);
  static final Font TIME = new Font(Font.MONOSPACED, Font.BOLD, 22);

  private Theme() {}

  /** Nimbus with dark base colours; the JDK's default look if Nimbus is unavailable. */
  static void install() {
    try {
      UIManager.setLookAndFeel(new NimbusLookAndFeel());
    } catch (Exception e) {
      return;
    }
    UIManager.put("control", PANEL);
    UIManager.put("info", RAISED);
    UIManager.put("nimbusBase", new Color(0x2a3038));
    UIManager.put("nimbusBlueGrey", new Color(0x4a5260));
    UIManager.put("nimbusLightBackground", RAISED);
    UIManager.put("nimbusFocus", ACCENT_DIM);
    UIManager.put("nimbusSelectionBackground", ACCENT_DIM);
    UIManager.put("nimbusSelectedText", TEXT);
    UIManager.put("nimbusOrange", ACCENT);
    UIManager.put("text", TEXT);
    UIManager.put("nimbusDisabledText", new Color(0x5c6470));
    UIManager.put("defaultFont", UI);
  }

  static Graphics2D smooth(java.awt.Graphics g) {
    Graphics2D g2 = (Graphics2D) g;
    g2.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_ON);
    g2.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
    return g2;
  }

  /** Minutes, seconds and tenths: 83.4 s as "1:23.4". */
  static String time(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    long tenths = Math.round(seconds * 10);
    return String.format(java.util.Locale.ROOT, "%d:%02d.%d", tenths / 600, tenths / 10 % 60, tenths % 10);
  }
}

package velmora.chordsmith.tool;

import java.awt.image.BufferedImage;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;

/**
 * A 5 × 7 pixel font for the picture's labels, drawn pixel by pixel: no system font is needed
 * (a headless machine may have none) and the picture is the same on every machine. Upper-case
 * letters, digits and a little punctuation; lower case is drawn as upper case, anything else as
 * a space.
 */
final class PixelFont {
  static final int WIDTH = 5;
  static final int HEIGHT = 7;
  /** Horizontal advance per character, in font pixels. */
  static final int ADVANCE = 6;

  private static final Map<Character, String[]> GLYPHS = new HashMap<>();

  private static void glyph(char c, String rows) { GLYPHS.put(c, rows.split("/")); }

  static {
    glyph('0', " ### /#   #/#  ##/# # #/##  #/#   #/ ### ");
    glyph('1', "  #  / ##  /  #  /  #  /  #  /  #  / ### ");
    glyph('2', " ### /#   #/    #/   # /  #  / #   /#####");
    glyph('3', "#####/   # /  #  /   # /    #/#   #/ ### ");
    glyph('4', "   # /  ## / # # /#  # /#####/   # /   # ");
    glyph('5', "#####/#    /#### /    #/    #/#   #/ ### ");
    glyph('6', "  ## / #   /#    /#### /#   #/#   #/ ### ");
    glyph('7', "#####/    #/   # /  #  / #   / #   / #   ");
    glyph('8', " ### /#   #/#   #/ ### /#   #/#   #/ ### ");
    glyph('9', " ### /#   #/#   #/ ####/    #/   # / ##  ");
    glyph('A', " ### /#   #/#   #/#####/#   #/#   #/#   #");
    glyph('B', "#### /#   #/#   #/#### /#   #/#   #/#### ");
    glyph('C', " ### /#   #/#    /#    /#    /#   #/ ### ");
    glyph('D', "#### /#   #/#   #/#   #/#   #/#   #/#### ");
    glyph('E', "#####/#    /#    /#### /#    /#    /#####");
    glyph('F', "#####/#    /#    /#### /#    /#    /#    ");
    glyph('G', " ### /#   #/#    /# ###/#   #/#   #/ ####");
    glyph('H', "#   #/#   #/#   #/#####/#   #/#   #/#   #");
    glyph('I', " ### /  #  /  #  /  #  /  #  /  #  / ### ");
    glyph('J', "  ###/   # /   # /   # /   # /#  # / ##  ");
    glyph('K', "#   #/#  # /# #  /##   /# #  /#  # /#   #");
    glyph('L', "#    /#    /#    /#    /#    /#    /#####");
    glyph('M', "#   #/## ##/# # #/# # #/#   #/#   #/#   #");
    glyph('N', "#   #/#   #/##  #/# # #/#  ##/#   #/#   #");
    glyph('O', " ### /#   #/#   #/#   #/#   #/#   #/ ### ");
    glyph('P', "#### /#   #/#   #/#### /#    /#    /#    ");
    glyph('Q', " ### /#   #/#   #/#   #/# # #/#  # / ## #");
    glyph('R', "#### /#   #/#   #/#### /# #  /#  # /#   #");
    glyph('S', " ####/#    /#    / ### /    #/    #/#### ");
    glyph('T', "#####/  #  /  #  /  #  /  #  /  #  /  #  ");
    glyph('U', "#   #/#   #/#   #/#   #/#   #/#   #/ ### ");
    glyph('V', "#   #/#   #/#   #/#   #/#   #/ # # /  #  ");
    glyph('W', "#   #/#   #/#   #/# # #/# # #/# # #/ # # ");
    glyph('X', "#   #/#   #/ # # /  #  / # # /#   #/#   #");
    glyph('Y', "#   #/#   #/ # # /  #  /  #  /  #  /  #  ");
    glyph('Z', "#####/    #/   # /  #  / #   /#    /#####");
    glyph('-', "     /     /     / ### /     /     /     ");
    glyph('+', "     /  #  /  #  /#####/  #  /  #  /     ");
    glyph('.', "     /     /     /     /     / ##  / ##  ");
    glyph(',', "     /     /     /     / ##  /  #  / #   ");
    glyph(':', "     / ##  / ##  /     / ##  / ##  /     ");
    glyph('(', "   # /  #  / #   / #   / #   /  #  /   # ");
    glyph(')', " #   /  #  /   # /   # /   # /  #  / #   ");
    glyph('/', "     /    #/   # /  #  / #   /#    /     ");
    glyph('#', " # # / # # /#####/ # # /#####/ # # / # # ");
    glyph('%', "##   /##  #/   # /  #  / #   /#  ##/   ##");
    glyph('=', "     /     /#####/     /#####/     /     ");
  }

  private PixelFont() {}

  /** Width in image pixels of {@code text} drawn at {@code scale}. */
  static int width(String text, int scale) {
    return text.isEmpty() ? 0 : (text.length() * ADVANCE - 1) * scale;
  }

  /** Draws {@code text} with its top-left corner at (x, y); pixels outside the image are skipped. */
  static void draw(BufferedImage image, String text, int x, int y, int scale, int rgb) {
    String upper = text.toUpperCase(Locale.ROOT);
    for (int i = 0; i < upper.length(); i++) {
      String[] rows = GLYPHS.get(upper.charAt(i));
      if (rows == null) continue;
      int left = x + i * ADVANCE * scale;
      for (int row = 0; row < HEIGHT; row++) {
        for (int col = 0; col < WIDTH; col++) {
          if (rows[row].charAt(col) != '#') continue;
          for (int dy = 0; dy < scale; dy++) {
            for (int dx = 0; dx < scale; dx++) {
              int px = left + col * scale + dx;
              int py = y + row * scale + dy;
              if (px >= 0 && py >= 0 && px < image.getWidth() && py < image.getHeight()) {
                image.setRGB(px, py, rgb);
              }
            }
          }
        }
      }
    }
  }
}

package velmora.chordsmith.audio;

import java.io.IOException;
import java.nio.file.AccessDeniedException;

/**
 * A file that cannot be read or written. The message names the file and says what is wrong in
 * words a person can act on, to be shown as it stands.
 */
public final class FileException extends Exception {
  private static final long serialVersionUID = 1L;

  public FileException(String message) { super(message); }

  /** The system's reason for a failed file operation, in a few words. */
  public static String reason(IOException e) {
    if (e instanceof AccessDeniedException) return "permission denied";
    String m = e.getMessage();
    return m == null || m.isEmpty() ? e.getClass().getSimpleName() : m;
  }
}

package velmora.chordsmith.tool;

/**
 * A failure the user can act on: the message is shown as it stands (no stack trace) and the tool
 * exits with {@link #exitCode}.
 */
final class ToolException extends Exception {
  private static final long serialVersionUID = 1L;

  /** Exit code for a bad command line: an unknown option, a value out of range. */
  static final int USAGE = 2;
  /** Exit code for a failure while working: unreadable input, unwritable output. */
  static final int FAILED = 1;

  final int exitCode;

  ToolException(int exitCode, String message) {
    super(message);
    this.exitCode = exitCode;
  }

  ToolException(int exitCode, String message, Throwable cause) {
    super(message, cause);
    this.exitCode = exitCode;
  }

  static ToolException usage(String message) { return new ToolException(USAGE, message); }

  static ToolException failed(String message) { return new ToolException(FAILED, message); }
}

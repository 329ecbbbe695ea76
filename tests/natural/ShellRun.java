import natural.wshom.*;

/** Expands a variable, runs a command and reads its output, and saves a shortcut. */
public class ShellRun {
    public static void main(String[] args) throws InterruptedException {
        try (WshShell shell = new WshShell()) {
            System.out.println(shell.ExpandEnvironmentStrings("%WINDIR%"));
            IWshExec exec = shell.Exec("cmd /c echo hello");
            while (exec.getStatus() == WshExecStatus.WshRunning)
                Thread.sleep(50);
            System.out.println(exec.getStdOut().ReadAll().trim() + " (exit " + exec.getExitCode() + ")");

            IWshShortcut link = shell.CreateShortcut("C:\\users\\public\\notepad.lnk").as(IWshShortcut.class);
            link.setTargetPath("C:\\windows\\notepad.exe");
            link.Save();

            System.out.println(shell.RegRead("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\CurrentVersion")
                    .asString());
        }
    }
}

import natural.shell.*;

/** Lists a folder's items through Shell.Application, descending into subfolders once. */
public class ShellFolders {
    public static void main(String[] args) {
        try (Shell shell = new Shell()) {
            Folder windows = shell.NameSpace("C:\\windows");
            System.out.println(windows.getTitle());
            for (FolderItem item : windows.Items()) {
                System.out.println((item.getIsFolder() ? "[" + item.getName() + "]" : item.getName()) + " "
                        + item.getSize());
                if (item.getIsFolder() && item.getName().equalsIgnoreCase("system32")) {
                    Folder inner = item.getGetFolder().as(Folder.class);
                    System.out.println("  " + inner.Items().getCount() + " items in " + inner.getTitle());
                }
            }
            for (FolderItemVerb verb : windows.ParseName("notepad.exe").Verbs())
                System.out.println("verb " + verb.getName());
        }
    }
}

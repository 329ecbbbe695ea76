import natural.scripting.*;

/** Lists the drives with their free space and the files of the temporary folder. */
public class ScriptingFiles {
    public static void main(String[] args) {
        try (FileSystemObject fso = new FileSystemObject()) {
            for (IDrive drive : fso.getDrives()) {
                if (!drive.getIsReady())
                    continue;
                System.out.printf("%s: %,d bytes free%n", drive.getDriveLetter(), drive.getFreeSpace().asLong());
            }
            IFolder temp = fso.GetSpecialFolder(SpecialFolderConst.TemporaryFolder);
            System.out.println(temp.getPath());
            for (IFile file : temp.getFiles())
                System.out.println("  " + file.getName() + " " + file.getSize().asLong());
            for (IFolder folder : temp.getSubFolders())
                System.out.println("  [" + folder.getName() + "]");
            System.out.println(fso.BuildPath(temp.getPath(), "report.txt"));
        }
    }
}

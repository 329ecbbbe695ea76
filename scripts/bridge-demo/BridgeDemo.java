import mivra.runtime.MivraVariant;
import mvx.scrrun.Dictionary;
import mvx.scrrun.FileSystemObject;
import mvx.scrrun.IDictionary;
import mvx.scrrun.IFile;
import mvx.scrrun.IFileSystem3;
import mvx.scrrun.ITextStream;

/** What ./run.sh ends with: Wine's scripting runtime driven from this JVM through mivra-bridge.exe. */
public class BridgeDemo {
    public static void main(String[] args) {
        try (Dictionary dictionary = new Dictionary(); FileSystemObject fso = new FileSystemObject()) {
            IDictionary dict = dictionary.getIDictionary();
            dict.Add(MivraVariant.of("language"), MivraVariant.of("Java"));
            dict.Add(MivraVariant.of("server"), MivraVariant.of("Wine's scrrun.dll"));
            System.out.println("Scripting.Dictionary holds " + dict.getCount() + " entries:");
            for (MivraVariant key : dict)
                System.out.println("  " + key.toJava() + " = " + dict.getItem(key).toJava());

            IFileSystem3 fs = fso.getIFileSystem3();
            String path = fs.BuildPath(fs.GetSpecialFolder(2).getPath(), "mivra-demo.txt");
            ITextStream stream = fs.CreateTextFile(path, true);
            stream.WriteLine("written by a Java program on Linux through the bridge");
            stream.Close();
            IFile file = fs.GetFile(path);
            System.out.println("Scripting.FileSystemObject wrote " + file.getPath() + ": " + file.getSize().toJava()
                    + " bytes, modified " + file.getDateLastModified());
            fs.DeleteFile(path);
            System.out.println("and deleted it again: exists " + fs.FileExists(path));
        }
    }
}

import java.time.LocalDateTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

import mivra.runtime.Bridge;
import mivra.runtime.MivraVariant;
import mvx.scrrun.Dictionary;
import mvx.scrrun.FileSystemObject;
import mvx.scrrun.IDictionary;
import mvx.scrrun.IFile;
import mvx.scrrun.IFileSystem3;
import mvx.scrrun.ITextStream;

/** The scripting runtime through the bridge: the dictionary's keys, files with dates and sizes, a missing file. */
public class BridgeScripting {
    public static void main(String[] args) {
        try (Dictionary dictionary = new Dictionary()) {
            IDictionary dict = dictionary.getIDictionary();
            // Bytes that a text-mode stream would change: CR LF and ^Z.
            String awkward = "line\r\nend\u001a\u00e9\u6771";
            dict.Add(MivraVariant.of("one"), MivraVariant.of(1));
            dict.Add(MivraVariant.of(awkward), MivraVariant.of(2.5));
            dict.Add(MivraVariant.of(3), MivraVariant.of("three"));
            Checks.check(dict.getCount() == 3, "three entries");
            Checks.check(Double.valueOf(2.5).equals(dict.getItem(MivraVariant.of(awkward)).toJava()),
                    "a key holding 0D 0A and 1A finds its item");
            List<Object> keys = new ArrayList<>();
            for (MivraVariant key : dict)
                keys.add(key.toJava());
            Checks.check(keys.equals(Arrays.asList("one", awkward, 3)), "the keys in order, unchanged: " + keys.size());
            Object[] array = (Object[]) dict.Keys().toJava();
            Checks.check(Arrays.asList(array).equals(keys), "Keys() as an array");
            Checks.check(awkward.equals(Bridge.echo(awkward)), "an echo of 0D 0A 1A comes back unchanged");
            Checks.expectHResult(() -> dict.Add(MivraVariant.of("one"), MivraVariant.of(0)), 0x800A01C9,
                    "a duplicate key is refused with the server's error");
        }
        try (FileSystemObject fso = new FileSystemObject()) {
            IFileSystem3 fs = fso.getIFileSystem3();
            String path = fs.BuildPath(fs.GetSpecialFolder(2).getPath(), "bridge-scripting.txt");
            ITextStream stream = fs.CreateTextFile(path, true);
            stream.Write("twelve bytes");
            stream.Close();
            IFile file = fs.GetFile(path);
            Checks.check(((Number) file.getSize().toJava()).longValue() == 12, "the file's size is 12");
            LocalDateTime modified = file.getDateLastModified();
            Checks.check(modified != null && Math.abs(java.time.Duration.between(modified, LocalDateTime.now()).toHours()) < 26,
                    "the file's date is today: " + modified);
            Checks.check("bridge-scripting.txt".equals(file.getName()), "its name");
            fs.DeleteFile(path);
            Checks.check(!fs.FileExists(path), "deleted");
            Checks.expectHResult(() -> fs.GetFile(path), 0x800A0035, "the missing file's error code (file not found)");
        }
    }
}

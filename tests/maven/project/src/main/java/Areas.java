import mivra.runtime.MivraException;
import mvx.golden.*;

/** Code of the default package: javac looks for its names in the source roots' top folders first. */
public class Areas {
    public static double unitArea() throws MivraException {
        IShape face = new Shape().getIShape();
        return face.Area();
    }
}

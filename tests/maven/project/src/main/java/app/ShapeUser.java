package app;

import mivra.runtime.MivraException;
import mvx.golden.IShape;
import mvx.golden.Shape;

/** Calls the generated classes as a program of the user's would. */
public class ShapeUser {
    public static double movedArea() throws MivraException {
        Shape shape = new Shape();
        IShape face = shape.getIShape();
        face.setName("square");
        face.Move(2, 3);
        return face.Area();
    }
}

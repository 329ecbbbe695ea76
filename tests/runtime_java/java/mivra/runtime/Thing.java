package mivra.runtime;

import java.util.Iterator;

/** A class written as the generator writes them, over the fake's objects. */
class Thing extends MivraObject {
    static final String IID = "{11111111-2222-3333-4444-555555555555}";

    Thing(Ref ref) {
        super(ref);
    }

    Thing(String classId) {
        super(classId, false);
    }

    Thing(MivraObject source) {
        super(source, IID, "IThing");
    }

    Object call(int dispId, int kind, int resultVt, Object[] args, int[] vts) {
        return mivraCall(dispId, kind, resultVt, args, vts);
    }

    /** Echo(value) with value and result declared as vt. */
    Object echo(Object value, int vt) {
        return mivraCall(1, 1, vt, new Object[] {value}, new int[] {vt});
    }

    Thing echoThing(Thing value) {
        return mivraAdopt(mivraCall(1, 1, MivraVariant.VT_DISPATCH, new Object[] {value},
                new int[] {MivraVariant.VT_DISPATCH}), Thing::new);
    }

    Iterator<Thing> things() {
        return mivraEnumerate(Thing::new);
    }

    Iterator<MivraVariant> variants() {
        return mivraEnumerate();
    }
}

package mivra.runtime;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.function.Function;

/** The generated classes of one package, by interface identifier, for object results. */
public final class ClassTable {
    static final class Entry {
        final String iid;
        final Class<? extends MivraObject> type;
        final Function<MivraObject.Ref, ? extends MivraObject> wrap;

        Entry(String iid, Class<? extends MivraObject> type, Function<MivraObject.Ref, ? extends MivraObject> wrap) {
            this.iid = iid;
            this.type = type;
            this.wrap = wrap;
        }
    }

    final List<Entry> entries = new ArrayList<>();
    final Map<String, String> defaults = new HashMap<>();

    /**
     * Adds a generated interface class; among classes that fit equally, the one added last wins.
     *
     * @param iid the interface identifier, braced
     * @param type the class
     * @param wrap its constructor from a reference
     * @return this table
     */
    public ClassTable add(String iid, Class<? extends MivraObject> type,
            Function<MivraObject.Ref, ? extends MivraObject> wrap) {
        entries.add(new Entry(iid, type, wrap));
        return this;
    }

    /**
     * Names a coclass's default interface.
     *
     * @param coclassName the coclass
     * @param iid its default interface's identifier, braced
     * @return this table
     */
    public ClassTable defaultInterface(String coclassName, String iid) {
        defaults.put(coclassName, iid);
        return this;
    }

    Entry entryOf(Class<?> type) {
        for (int i = entries.size() - 1; i >= 0; --i)
            if (entries.get(i).type == type)
                return entries.get(i);
        return null;
    }
}

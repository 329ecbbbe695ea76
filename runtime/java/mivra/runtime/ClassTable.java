package mivra.runtime;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Objects;
import java.util.concurrent.ConcurrentHashMap;
import java.util.function.Function;

/**
 * The generated classes of one package by interface identifier, and the
 * default interface of each coclass: what {@link MivraObject} needs to give an
 * object result the most derived class it can. A generated package fills one
 * in its static initialiser and reads it only from then on.
 */
public final class ClassTable {
    static final class Entry {
        final String iid;
        final Class<? extends MivraObject> type;
        final Function<MivraObject.Ref, ? extends MivraObject> wrap;
        final int order;
        boolean isDefault;

        Entry(String iid, Class<? extends MivraObject> type, Function<MivraObject.Ref, ? extends MivraObject> wrap,
                int order) {
            this.iid = iid;
            this.type = type;
            this.wrap = wrap;
            this.order = order;
        }
    }

    private final Map<String, Entry> byIid = new HashMap<>();
    private final Map<Class<?>, Entry> byClass = new HashMap<>();
    private final List<Entry> entries = new ArrayList<>();
    private final List<String> pendingDefaults = new ArrayList<>();
    // Per declared class: the candidates of the fallback, most derived first, ties by the rules.
    private final Map<Class<?>, List<Entry>> candidates = new ConcurrentHashMap<>();

    /**
     * Adds a generated class.
     *
     * @param iid its interface's identifier, braced ("{...}")
     * @param type the class
     * @param wrap its constructor from {@link MivraObject.Ref}
     * @return this table
     */
    public synchronized ClassTable add(String iid, Class<? extends MivraObject> type,
            Function<MivraObject.Ref, ? extends MivraObject> wrap) {
        Entry entry = new Entry(key(iid), Objects.requireNonNull(type, "type"), Objects.requireNonNull(wrap, "wrap"),
                entries.size());
        entries.add(entry);
        byIid.put(entry.iid, entry);
        byClass.put(type, entry);
        if (pendingDefaults.contains(entry.iid))
            entry.isDefault = true;
        candidates.clear();
        return this;
    }

    /**
     * Names the default interface of a coclass of the package.
     *
     * @param coclassName the coclass's name
     * @param iid its default interface's identifier, braced ("{...}")
     * @return this table
     */
    public synchronized ClassTable defaultInterface(String coclassName, String iid) {
        Objects.requireNonNull(coclassName, "coclassName");
        String key = key(iid);
        pendingDefaults.add(key);
        Entry entry = byIid.get(key);
        if (entry != null)
            entry.isDefault = true;
        candidates.clear();
        return this;
    }

    static String key(String iid) {
        return Objects.requireNonNull(iid, "iid").toUpperCase(Locale.ROOT);
    }

    synchronized Entry byIid(String iid) {
        return iid == null ? null : byIid.get(key(iid));
    }

    synchronized Entry byClass(Class<?> type) {
        return byClass.get(type);
    }

    /**
     * The classes an object of the declared class may turn out to be, when it
     * gives no type information: the declared class's generated subclasses, or
     * for a declared {@code IDispatch} the coclasses' default interfaces.
     */
    List<Entry> candidates(Class<?> declared) {
        List<Entry> cached = candidates.get(declared);
        if (cached != null)
            return cached;
        List<Entry> found = new ArrayList<>();
        synchronized (this) {
            for (Entry e : entries)
                if (declared == MivraObject.class ? e.isDefault : e.type != declared && declared.isAssignableFrom(e.type))
                    found.add(e);
        }
        candidates.put(declared, found);
        return found;
    }

    /**
     * Of the classes whose interfaces the object answers to, the most derived;
     * among several, a coclass's default interface, then the last added.
     */
    static Entry choose(List<Entry> answering) {
        Entry best = null;
        for (Entry e : answering) {
            boolean derived = false;
            for (Entry other : answering)
                derived |= other.type != e.type && e.type.isAssignableFrom(other.type);
            if (derived)
                continue;
            if (best == null || (e.isDefault != best.isDefault ? e.isDefault : e.order > best.order))
                best = e;
        }
        return best;
    }
}
